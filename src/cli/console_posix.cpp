#include "cli/console.h"

namespace zebrik::cli {

bool PrepareReportOutput() {
    return false;
}

std::FILE* OpenTraceFile(const std::string& path) {
    return std::fopen(path.c_str(), "we");  // not inherited by a child program
}

}  // namespace zebrik::cli
