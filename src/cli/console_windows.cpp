#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "cli/console.h"

namespace zebrik::cli {

// The report is UTF-8 with "\r\n" line ends, as Windows tools write text. In binary mode
// the C library adds no "\r" of its own before each "\n".
bool PrepareReportOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    return true;
}

namespace {

HANDLE HandleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

}  // namespace

bool IsConsole(std::FILE* stream) {
    DWORD mode = 0;
    return HandleOf(stream) != INVALID_HANDLE_VALUE && GetConsoleMode(HandleOf(stream), &mode);
}

// A console shows UTF-8 bytes right only in code page 65001; given UTF-16 it shows them in
// any code page. The report's pieces are whole lines, so no character is cut in two.
void WriteToConsole(std::FILE* stream, std::string_view utf8Text) {
    const HANDLE console = HandleOf(stream);
    std::fflush(stream);
    const int size = static_cast<int>(utf8Text.size());
    std::wstring wide(utf8Text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), size, wide.data(), size);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(length), &written, nullptr);
}

// The trace keeps the C library's text mode: its lines end with "\r\n" like the report's.
std::FILE* OpenTraceFile(const std::string& path) {
    return std::fopen(path.c_str(), "w");
}

}  // namespace zebrik::cli
