#pragma once

// Windows has no iconv, a judge of the text tests apart from the code under test: CP1252 and
// CP850 into UTF-8, UTF-8 checked (nothing written). Windows' own converters (Wine's, under
// Wine) stand in for just those uses, strict about input they cannot read.
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

using iconv_t = void*;  // the source's code page

inline iconv_t iconv_open(const char* /*to*/, const char* from) {
    const std::string_view name = from;
    return reinterpret_cast<iconv_t>(std::uintptr_t{name == "UTF-8"    ? CP_UTF8
                                                    : name == "CP1252" ? 1252u
                                                                       : 850u});
}

inline int iconv_close(iconv_t /*converter*/) {
    return 0;
}

inline std::size_t iconv(iconv_t converter, char** from, std::size_t* left, char** to,
                         std::size_t* room) {
    if (from == nullptr || *left == 0) {
        return 0;
    }
    const auto page = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(converter));
    const int size = static_cast<int>(*left);
    std::wstring wide(*left, L'\0');
    const int length =
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, *from, size, wide.data(), size);
    const int bytes = length <= 0 || page == CP_UTF8
                          ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, *to,
                                                static_cast<int>(*room), nullptr, nullptr);
    if (length <= 0 || (page != CP_UTF8 && bytes == 0)) {
        errno = length <= 0 ? EILSEQ : E2BIG;  // WideCharToMultiByte gives 0 for too little room
        return static_cast<std::size_t>(-1);
    }
    *to += bytes;
    *room -= static_cast<std::size_t>(bytes);
    *from += *left;
    *left = 0;
    return 0;
}
