#pragma once

// Windows has no iconv. The unit tests take it as a judge apart from the code under test:
// code pages CP1252 and CP850 into UTF-8, and UTF-8 checked for validity. This stands in
// for just those uses with Windows' own converters (Wine's, under Wine), strict about
// input they cannot read. The check of UTF-8 writes nothing out.
#include <windows.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using iconv_t = void*;  // the source's code page

inline iconv_t iconv_open(const char* /*to*/, const char* from) {
    const std::string_view name = from;
    const UINT page = name == "UTF-8"    ? CP_UTF8
                      : name == "CP1252" ? 1252
                      : name == "CP850"  ? 850
                                         : 0;
    return page == 0 ? reinterpret_cast<iconv_t>(-1)
                     : reinterpret_cast<iconv_t>(std::uintptr_t{page});
}

inline int iconv_close(iconv_t /*converter*/) {
    return 0;
}

inline std::size_t iconv(iconv_t converter, char** from, std::size_t* left, char** to,
                         std::size_t* room) {
    if (from == nullptr || *from == nullptr || *left == 0) {
        return 0;
    }
    const auto page = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(converter));
    const int size = static_cast<int>(*left);
    std::wstring wide(*left, L'\0');
    const int length =
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, *from, size, wide.data(), size);
    if (length <= 0) {
        errno = EILSEQ;
        return static_cast<std::size_t>(-1);
    }
    if (page != CP_UTF8) {
        // Too little room gives 0.
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, *to,
                                              static_cast<int>(*room), nullptr, nullptr);
        if (bytes == 0) {
            errno = E2BIG;
            return static_cast<std::size_t>(-1);
        }
        *to += bytes;
        *room -= static_cast<std::size_t>(bytes);
    }
    *from += *left;
    *left = 0;
    return 0;
}
