#include "cli/line_ends.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zebrik::cli {
namespace {

struct LineEndCase {
    const char* what;
    std::vector<std::string> pieces;
    std::string expected;
};

TEST(LineEndConverter, WritesReportLinesWithUnixLineEnds) {
    const std::vector<LineEndCase> cases = {
        {"whole lines", {"Zeile 1\r\n", "Zeile 2\r\n"}, "Zeile 1\nZeile 2\n"},
        {"a heading's empty line first", {"\r\nEigenschaften...\r\n"}, "\nEigenschaften...\n"},
        {"CR and LF in different pieces", {"Zeile\r", "\nweiter\r\n"}, "Zeile\nweiter\n"},
        {"a lone CR inside a line stays", {"a\rb\r\n"}, "a\rb\n"},
        {"a lone CR at the end of a piece stays", {"a\r", "b"}, "a\rb"},
        {"a CR at the very end is written at the finish", {"a\r"}, "a\r"},
        {"two CRs before LF keep the first", {"a\r\r\n"}, "a\r\n"},
        {"plain LF passes", {"a\nb"}, "a\nb"},
        {"UTF-8 passes untouched", {"Gerätename: ä\r\n"}, "Gerätename: ä\n"},
        {"empty pieces change nothing", {"", "a\r", "", "\n"}, "a\n"},
    };
    for (const LineEndCase& c : cases) {
        LineEndConverter converter;
        std::string out;
        for (const std::string& piece : c.pieces) {
            out += converter.Convert(piece);
        }
        out += converter.Finish();
        EXPECT_EQ(out, c.expected) << c.what;
    }
}

TEST(LineEndConverter, APieceEndingInCrIsShownOnlyOnceTheNextArrives) {
    LineEndConverter converter;
    EXPECT_EQ(converter.Convert("Zeile\r"), "Zeile");
    EXPECT_EQ(converter.Convert("\n"), "\n");
    EXPECT_EQ(converter.Finish(), "");
}

}  // namespace
}  // namespace zebrik::cli
