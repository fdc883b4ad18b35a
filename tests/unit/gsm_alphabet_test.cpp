#include "core/cards/sim/gsm_alphabet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zebrik {
namespace {

std::string GsmChar(std::uint8_t byte) {
    std::string line;
    AppendGsmChar(line, byte);
    return line;
}

struct GsmCharCase {
    std::uint8_t byte;
    const char* utf8;
};

class GsmCharTest : public ::testing::TestWithParam<GsmCharCase> {};

TEST_P(GsmCharTest, ShowsCodeAsItsCharacter) {
    EXPECT_EQ(GsmChar(GetParam().byte), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    DefaultAlphabet, GsmCharTest,
    ::testing::Values(GsmCharCase{0x00, "@"}, GsmCharCase{0x01, "£"}, GsmCharCase{0x02, "$"},
                      GsmCharCase{0x09, "Ç"}, GsmCharCase{0x0A, "\n"}, GsmCharCase{0x0D, "\r"},
                      GsmCharCase{0x11, "_"}, GsmCharCase{0x1B, "\u00A0"}, GsmCharCase{0x1E, "ß"},
                      GsmCharCase{0x24, "¤"}, GsmCharCase{0x40, "¡"}, GsmCharCase{0x41, "A"},
                      GsmCharCase{0x5B, "Ä"}, GsmCharCase{0x5C, "Ö"}, GsmCharCase{0x5E, "Ü"},
                      GsmCharCase{0x5F, "§"}, GsmCharCase{0x60, "¿"}, GsmCharCase{0x7B, "ä"},
                      GsmCharCase{0x7C, "ö"}, GsmCharCase{0x7E, "ü"}, GsmCharCase{0x7F, "à"},
                      // Bit 8 is ignored.
                      GsmCharCase{0xC1, "A"}, GsmCharCase{0x80, "@"}, GsmCharCase{0xFE, "ü"}));

TEST(GsmAlphabetTest, DropsExactlyTheGreekCapitals) {
    for (unsigned code = 0; code < 128; ++code) {
        const bool greek = code == 0x10 || (code >= 0x12 && code <= 0x1A);
        EXPECT_EQ(GsmChar(static_cast<std::uint8_t>(code)).empty(), greek) << "code " << code;
    }
}

TEST(GsmAlphabetTest, MapsTheHighHalfLikeTheLowHalf) {
    for (unsigned code = 0; code < 128; ++code) {
        EXPECT_EQ(GsmChar(static_cast<std::uint8_t>(code | 0x80)),
                  GsmChar(static_cast<std::uint8_t>(code)));
    }
}

}  // namespace
}  // namespace zebrik
