#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zebrik {

// printf-style formatting into a string; the report's formats ("%02X", "%u", ...) are
// kept exactly as the report shows them. Card bytes shown as characters must not go
// through "%c": use AppendCardChar.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...);

// Appends a card or reader byte as one character of the Windows-1252 code page, encoded
// as UTF-8. A NUL byte adds nothing.
void AppendCardChar(std::string& line, std::uint8_t byte);

// The character a card byte stands for, as AppendCardChar shows it (0 for NUL), and the
// byte for a character both ways: the PIN dialogs send what is typed in the code page the
// report shows. None for a character Windows-1252 lacks, and never byte 0.
char32_t CardCharCodePoint(std::uint8_t byte);
std::optional<std::uint8_t> CardCharByte(char32_t codePoint);

// Appends every byte with AppendCardChar.
void AppendCardText(std::string& line, std::span<const std::uint8_t> bytes);

// Appends every byte as two upper-case hexadecimal digits, without separators.
void AppendHexBytes(std::string& line, std::span<const std::uint8_t> bytes);

// Appends one upper-case hexadecimal digit for a nibble (0 to 15).
void AppendHexDigit(std::string& line, std::uint8_t nibble);

// Which digit of a BCD byte comes first: the high nibble, or the low one (swapped-nibble
// BCD as the ICCID and the IMSI of a SIM keep it).
enum class NibbleOrder { HighFirst, LowFirst };

// Appends both digits of every byte in the given order, each as one hexadecimal digit; a
// nibble F is filler and left out.
void AppendBcdDigits(std::string& line, std::span<const std::uint8_t> bytes, NibbleOrder order);

// How much of a UTF-8 text a line may take: characters, bytes, or both.
struct Utf8Limit {
    std::size_t characters = SIZE_MAX;
    std::size_t bytes = SIZE_MAX;
};

// The longest start of the text within the limit, never cut inside a character.
std::string_view CutUtf8(std::string_view text, Utf8Limit limit);

// Appends text that ought to be UTF-8 but comes from outside (a reader or card name, a
// list file): every byte that does not begin a whole, valid UTF-8 character, and every
// control character but the tab, becomes U+FFFD, so the report stays UTF-8 and no name
// can break a line of it.
void AppendUntrustedText(std::string& line, std::string_view text);

// Appends a Unicode code point as UTF-8.
void AppendUtf8(std::string& line, char32_t codePoint);

}  // namespace zebrik
