#include "core/report/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zebrik {
namespace {

struct CardCharCase {
    std::uint8_t byte;
    const char* utf8;
};

class CardCharTest : public ::testing::TestWithParam<CardCharCase> {};

TEST_P(CardCharTest, ShowsByteAsWindows1252Character) {
    std::string line;
    AppendCardChar(line, GetParam().byte);
    EXPECT_EQ(line, GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Windows1252, CardCharTest,
                         ::testing::Values(CardCharCase{0x00, ""}, CardCharCase{0x41, "A"},
                                           CardCharCase{0x7F, "\x7F"}, CardCharCase{0x80, "€"},
                                           CardCharCase{0x81, "\u0081"}, CardCharCase{0x8A, "Š"},
                                           CardCharCase{0x9F, "Ÿ"}, CardCharCase{0xA0, "\u00A0"},
                                           CardCharCase{0xC4, "Ä"}, CardCharCase{0xDF, "ß"},
                                           CardCharCase{0xFC, "ü"}, CardCharCase{0xFF, "ÿ"}));

TEST(CutUtf8Test, CutsAfterWholeCharactersOnly) {
    EXPECT_EQ(CutUtf8("abc", {.characters = 2}), "ab");
    EXPECT_EQ(CutUtf8("abc", {.characters = 3}), "abc");
    EXPECT_EQ(CutUtf8("abc", {.characters = 10}), "abc");
    EXPECT_EQ(CutUtf8("äöü", {.characters = 2}), "äö");
    EXPECT_EQ(CutUtf8("a€b", {.characters = 2}), "a€");
    EXPECT_EQ(CutUtf8("", {.characters = 5}), "");
    EXPECT_EQ(CutUtf8("x", {.characters = 0}), "");
}

TEST(FormatTest, KeepsReportFormats) {
    EXPECT_EQ(Format("%02X%02X,%02X", 0x00, 0x12, 0x34), "0012,34");
    EXPECT_EQ(Format("Fehler 0x%08X\r\n", 24u), "Fehler 0x00000018\r\n");
    EXPECT_EQ(Format("%s", std::string(600, 'x').c_str()).size(), 600u);
}

TEST(HexTest, WritesUpperCaseDigitsWithoutSeparators) {
    std::string line;
    const std::uint8_t bytes[] = {0x0A, 0xB0, 0xFF};
    AppendHexBytes(line, bytes);
    EXPECT_EQ(line, "0AB0FF");
}

}  // namespace
}  // namespace zebrik
