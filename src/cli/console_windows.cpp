#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "cli/console.h"

namespace zebrik::cli {
namespace {

UINT g_savedOutputCodePage = 0;

void RestoreOutputCodePage() {
    SetConsoleOutputCP(g_savedOutputCodePage);
}

}  // namespace

// The report is UTF-8 with "\r\n" line ends, as Windows tools write text. In binary mode
// the C library adds no "\r" of its own before each "\n"; a console is switched to UTF-8
// for the time of the run, so that it shows the umlauts right.
bool PrepareReportOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) && g_savedOutputCodePage == 0) {
        g_savedOutputCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        std::atexit(RestoreOutputCodePage);
    }
    return true;
}

// The trace keeps the C library's text mode: its lines end with "\r\n" like the report's.
std::FILE* OpenTraceFile(const std::string& path) {
    return std::fopen(path.c_str(), "w");
}

}  // namespace zebrik::cli
