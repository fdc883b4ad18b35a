#include "core/report/text.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace zebrik {

std::string Format(const char* format, ...) {
    // One pass into a buffer on the stack is enough for nearly every report line; only a
    // longer text is formatted a second time, into a string of its length.
    std::array<char, 256> buffer;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0 && static_cast<std::size_t>(needed) < buffer.size()) {
        text.assign(buffer.data(), static_cast<std::size_t>(needed));
    } else if (needed > 0) {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return text;
}

void AppendUtf8(std::string& line, char32_t cp) {
    if (cp < 0x80) {
        line.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        line.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        line.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        line.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        line.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        line.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        line.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        line.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        line.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        line.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsPrintableAscii(char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\t';
}

}  // namespace

void AppendUntrustedText(std::string& out, std::string_view name) {
    std::size_t i = 0;
    while (i < name.size()) {
        // Most names are printable ASCII throughout: such a run is copied whole.
        if (IsPrintableAscii(name[i])) {
            std::size_t run = i + 1;
            while (run < name.size() && IsPrintableAscii(name[run])) {
                ++run;
            }
            out.append(name.substr(i, run - i));
            i = run;
            continue;
        }
        const auto lead = static_cast<unsigned char>(name[i]);
        std::size_t length = 0;
        char32_t codePoint = 0;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
        }
        bool valid = length > 0 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto trail = static_cast<unsigned char>(name[i + k]);
            valid = (trail & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (trail & 0x3Fu);
        }
        const bool overlong =
            (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        valid = valid && !overlong && !surrogate && codePoint <= 0x10FFFF;
        if (!valid) {
            AppendUtf8(out, kReplacementCharacter);
            ++i;
            continue;
        }
        const bool control =
            (codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint <= 0x9F);
        if (control) {
            AppendUtf8(out, kReplacementCharacter);
        } else {
            out.append(name.substr(i, length));
        }
        i += length;
    }
}

namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F. The five bytes it leaves
// undefined keep their C1 code point, as Windows itself converts them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

char32_t CardCharCodePoint(std::uint8_t byte) {
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : char32_t{byte};
}

std::optional<std::uint8_t> CardCharByte(char32_t codePoint) {
    for (unsigned byte = 1; byte <= 0xFF; ++byte) {
        if (CardCharCodePoint(static_cast<std::uint8_t>(byte)) == codePoint) {
            return static_cast<std::uint8_t>(byte);
        }
    }
    return std::nullopt;
}

void AppendCardChar(std::string& line, std::uint8_t byte) {
    if (byte != 0) {
        AppendUtf8(line, CardCharCodePoint(byte));
    }
}

void AppendCardText(std::string& line, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) {
        AppendCardChar(line, byte);
    }
}

void AppendHexDigit(std::string& line, std::uint8_t nibble) {
    line.push_back("0123456789ABCDEF"[nibble & 0x0F]);
}

void AppendHexBytes(std::string& line, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) {
        AppendHexDigit(line, static_cast<std::uint8_t>(byte >> 4));
        AppendHexDigit(line, byte);
    }
}

void AppendBcdDigits(std::string& line, std::span<const std::uint8_t> bytes, NibbleOrder order) {
    for (std::uint8_t byte : bytes) {
        const std::uint8_t high = byte >> 4;
        const std::uint8_t low = byte & 0x0F;
        for (std::uint8_t nibble :
             order == NibbleOrder::HighFirst ? std::array{high, low} : std::array{low, high}) {
            if (nibble != 0x0F) {
                AppendHexDigit(line, nibble);
            }
        }
    }
}

std::string_view CutUtf8(std::string_view text, Utf8Limit limit) {
    // A character runs from its lead byte to the next lead byte or the end of the text.
    std::size_t characters = 0;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= text.size(); ++i) {
        const bool characterEnds =
            i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (!characterEnds) {
            continue;
        }
        if (characters == limit.characters || i > limit.bytes) {
            return text.substr(0, start);
        }
        ++characters;
        start = i;
    }
    return text;
}

}  // namespace zebrik
