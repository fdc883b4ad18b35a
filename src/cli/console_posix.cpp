#include "cli/console.h"

namespace zebrik::cli {

bool PrepareReportOutput() {
    return false;
}

bool IsConsole(std::FILE* /*stream*/) {
    return false;
}

void WriteToConsole(std::FILE* /*stream*/, std::string_view /*utf8Text*/) {}

std::FILE* OpenTraceFile(const std::string& path) {
    return std::fopen(path.c_str(), "we");  // not inherited by a child program
}

}  // namespace zebrik::cli
