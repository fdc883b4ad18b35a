#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The window speaks the Windows API's UTF-16 (the W functions): the report's UTF-8 shows
// whole, also the characters that no ANSI code page holds (a SIM's Greek capitals, the
// replacement character of a broken reader name), and the edit control copies it to the
// clipboard as Unicode text.
namespace zebrik::win32 {

// UTF-8 as UTF-16; the report is valid UTF-8, anything else would show as U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);

// The card's code page both ways, as the report shows card text: a typed character goes
// to the card as its Windows-1252 byte. No byte for it: nothing, and no substitute.
wchar_t Windows1252Char(std::uint8_t byte);
std::optional<char> Windows1252Byte(wchar_t character);

}  // namespace zebrik::win32
