#include "win32/wide_text.h"

#include <windows.h>

#include <climits>

#include "core/report/text.h"

namespace zebrik::win32 {

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    }
    return wide;
}

// Every Windows-1252 character is one UTF-16 unit.
wchar_t Windows1252Char(std::uint8_t byte) {
    return static_cast<wchar_t>(CardCharCodePoint(byte));
}

std::optional<char> Windows1252Byte(wchar_t character) {
    const std::optional<std::uint8_t> byte = CardCharByte(static_cast<char32_t>(character));
    return byte ? std::optional(static_cast<char>(*byte)) : std::nullopt;
}

}  // namespace zebrik::win32
