#include "core/report/text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <optional>
#include <string>

#include "core/cards/general/tlv.h"
#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/zka/oem_text.h"

// Text from card bytes, checked against sources of their own: iconv's code pages and the
// GSM alphabet as Perl's Encode has it; and the TLV parser over every short record.
namespace zebrik {
namespace {

// One byte of the code page as UTF-8, by iconv; nothing where the code page has no character.
std::optional<std::string> ByIconv(const char* codePage, unsigned byte) {
    const iconv_t converter = iconv_open("UTF-8", codePage);
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << codePage;
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char *from = in, *to = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const bool done = iconv(converter, &from, &inLeft, &to, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    return done ? std::optional(std::string(out, to)) : std::nullopt;
}

TEST(CodePageTest, CardBytesAreWindows1252AndZkaTextsCodePage850AsIconvHasThem) {
    std::string nul;
    AppendCardChar(nul, 0);
    EXPECT_EQ(nul, "");
    for (unsigned byte = 1; byte < 256; ++byte) {
        std::string shown;
        AppendCardChar(shown, static_cast<std::uint8_t>(byte));
        // The five bytes Windows-1252 leaves undefined keep their C1 code point, as Windows
        // converts them.
        const std::string c1 = {'\xC2', static_cast<char>(byte)};
        EXPECT_EQ(shown, ByIconv("CP1252", byte).value_or(c1)) << byte;
        EXPECT_EQ(CardCharByte(CardCharCodePoint(static_cast<std::uint8_t>(byte))), byte);
        const std::uint8_t field[] = {static_cast<std::uint8_t>(byte)};
        EXPECT_EQ(Cp850ToUtf8(field), ByIconv("CP850", byte).value_or("?")) << byte;
    }
    const std::uint8_t field[] = {'M', 0x81, 'n', ' ', 0, 'X'};
    EXPECT_EQ(Cp850ToUtf8(field), "M\u00FCn ");
}

TEST(GsmAlphabetTest, EveryCodeAsPerlsEncodeHasItWhateverTheHighBit) {
    std::ifstream table(ZEBRIK_UNIT_DATA_DIR "/gsm0338.txt");
    int codes = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with('#')) {
            continue;
        }
        const auto code = static_cast<std::uint8_t>(std::stoul(line.substr(0, 2), nullptr, 16));
        const auto codePoint = static_cast<char32_t>(std::stoul(line.substr(5, 4), nullptr, 16));
        // The report shows the characters of an 8-bit code page: the Greek capitals not at all.
        std::string expected;
        if (codePoint <= 0xFF) {
            AppendUtf8(expected, codePoint);
        }
        for (const std::uint8_t byte : {code, static_cast<std::uint8_t>(code | 0x80)}) {
            std::string shown;
            AppendGsmChar(shown, byte);
            EXPECT_EQ(shown, expected) << line;
        }
        ++codes;
    }
    EXPECT_EQ(codes, 128);
}

TEST(TextTest, CutsAndCodesUtf8) {
    EXPECT_EQ(CutUtf8("abc", {.characters = 2}), "ab");
    EXPECT_EQ(CutUtf8("abc", {.characters = 3}), "abc");
    EXPECT_EQ(CutUtf8("a\u20ACb", {.characters = 2}), "a\u20AC");
    EXPECT_EQ(CutUtf8("a\u20ACb", {.bytes = 3}), "a");
    EXPECT_EQ(CutUtf8("a\u20ACb", {.bytes = 4}), "a\u20AC");
    EXPECT_EQ(CutUtf8("x", {.characters = 0}), "");
    const std::string longLine(600, 'x');  // beyond the first pass's buffer
    EXPECT_EQ(Format("%s", longLine.c_str()), longLine);
    // The last and first code point of each length, and bits that tell a wrong shift.
    for (const auto& [codePoint, utf8] : std::initializer_list<std::pair<char32_t, const char*>>{
             {U'\u07FF', "\xDF\xBF"},
             {U'\u0800', "\xE0\xA0\x80"},
             {U'\uFFFF', "\xEF\xBF\xBF"},
             {U'\U00010000', "\xF0\x90\x80\x80"},
             {U'\U0010B5A5', "\xF4\x8B\x96\xA5"}}) {
        std::string text;
        AppendUtf8(text, codePoint);
        EXPECT_EQ(text, utf8) << static_cast<unsigned>(codePoint);
    }
}

// Every record of up to five bytes over the bytes that matter to the parser: whatever it
// hands out lies inside the record, and an element comes only when its value fits.
TEST(TlvTest, ParsedSpansAlwaysLieWithinTheRecord) {
    constexpr std::uint8_t kAlphabet[] = {0x00, 0x01, 0x02, 0x03, 0x4F, 0x50, 0x61, 0xFF};
    for (std::size_t length = 0, combinations = 1; length <= 5; ++length, combinations *= 8) {
        for (std::size_t code = 0; code < combinations; ++code) {
            std::vector<std::uint8_t> record(length);
            for (std::size_t i = 0, rest = code; i < length; ++i, rest /= 8) {
                record[i] = kAlphabet[rest % 8];
            }
            const auto inside = [&](std::span<const std::uint8_t> part) {
                return part.empty() || (part.data() >= record.data() &&
                                        part.data() + part.size() <= record.data() + length);
            };
            if (const auto entry = ParseDirectoryRecord(record)) {
                EXPECT_TRUE(inside(entry->aid) && inside(entry->label.value_or(entry->aid)))
                    << ::testing::PrintToString(record);
            }
            for (std::size_t offset = 0; offset <= length; ++offset) {
                const auto element = ReadTlv(record, offset);
                EXPECT_EQ(element.has_value(),
                          offset + 2 <= length && offset + 2 + record[offset + 1] <= length);
                if (element) {
                    EXPECT_TRUE(element->tag == record[offset] &&
                                element->value.data() == record.data() + offset + 2 &&
                                element->value.size() == record[offset + 1] &&
                                element->end == offset + 2 + record[offset + 1]);
                }
            }
        }
    }
}

}  // namespace
}  // namespace zebrik
