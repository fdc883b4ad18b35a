#include "cli/line_ends.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zebrik::cli {
namespace {

// The report's "\r\n" written as "\n", whatever pieces it arrives in; a lone "\r" stays.
TEST(LineEndConverter, WritesReportLinesWithUnixLineEnds) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"Zeile 1\r\n", "Zeile 2\r\n"}, "Zeile 1\nZeile 2\n"},
        {{"\r\nEigenschaften...\r\n"}, "\nEigenschaften...\n"},
        {{"Zeile\r", "\nweiter\r\n"}, "Zeile\nweiter\n"},
        {{"a\rb\r\n"}, "a\rb\n"},
        {{"a\r", "b"}, "a\rb"},
        {{"a\r"}, "a\r"},
        {{"a\r\r\n"}, "a\r\n"},
        {{"a\nb"}, "a\nb"},
        {{"Gerätename: ä\r\n"}, "Gerätename: ä\n"},
        {{"", "a\r", "", "\n"}, "a\n"},
    };
    for (const auto& [pieces, expected] : cases) {
        LineEndConverter converter;
        std::string out;
        for (const std::string& piece : pieces) {
            out += converter.Convert(piece);
        }
        EXPECT_EQ(out + converter.Finish(), expected) << ::testing::PrintToString(pieces);
    }
    // A piece that ends in "\r" shows once the next has come.
    LineEndConverter converter;
    EXPECT_EQ(converter.Convert("Zeile\r"), "Zeile");
    EXPECT_EQ(converter.Convert("\n"), "\n");
    EXPECT_EQ(converter.Finish(), "");
}

}  // namespace
}  // namespace zebrik::cli
