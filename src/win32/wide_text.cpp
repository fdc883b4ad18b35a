#include "win32/wide_text.h"

#include <windows.h>

#include <climits>

#include "core/report/text.h"

namespace zebrik::win32 {

namespace {

// From the report's own byte-to-text mapping, so that the PIN dialogs and the report
// agree on every byte. Every Windows-1252 character is one UTF-16 unit.
const std::array<wchar_t, 256>& Windows1252Table() {
    static const std::array<wchar_t, 256> table = [] {
        std::array<wchar_t, 256> characters{};
        for (int byte = 1; byte < 256; ++byte) {
            std::string utf8;
            AppendCardChar(utf8, static_cast<std::uint8_t>(byte));
            const std::wstring wide = WideFromUtf8(utf8);
            characters[static_cast<std::size_t>(byte)] = wide.size() == 1 ? wide[0] : L'\0';
        }
        return characters;
    }();
    return table;
}

}  // namespace

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

wchar_t Windows1252Char(std::uint8_t byte) {
    return Windows1252Table()[byte];
}

std::optional<char> Windows1252Byte(wchar_t character) {
    const auto& table = Windows1252Table();
    for (std::size_t byte = 1; byte < table.size(); ++byte) {
        if (character != L'\0' && table[byte] == character) {
            return static_cast<char>(static_cast<unsigned char>(byte));
        }
    }
    return std::nullopt;
}

}  // namespace zebrik::win32
