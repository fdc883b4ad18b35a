#pragma once

#include <cstddef>
#include <cstdint>
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

// Appends every byte with AppendCardChar.
void AppendCardText(std::string& line, std::span<const std::uint8_t> bytes);

// Appends every byte as two upper-case hexadecimal digits, without separators.
void AppendHexBytes(std::string& line, std::span<const std::uint8_t> bytes);

// Appends one upper-case hexadecimal digit for a nibble (0 to 15).
void AppendHexDigit(std::string& line, std::uint8_t nibble);

// The text cut after at most maxCharacters characters of UTF-8, never inside a character.
std::string_view CutUtf8(std::string_view text, std::size_t maxCharacters);

// Appends text that ought to be UTF-8 but comes from outside (a reader or card name, a
// list file): every byte that does not begin a whole, valid UTF-8 character, and every
// control character but the tab, becomes U+FFFD, so the report stays UTF-8 and no name
// can break a line of it.
void AppendUntrustedText(std::string& line, std::string_view text);

// Appends a Unicode code point as UTF-8.
void AppendUtf8(std::string& line, char32_t codePoint);

}  // namespace zebrik
