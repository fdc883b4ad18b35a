#pragma once

#include <cstdio>
#include <string>

// What the command line does differently on each platform when it writes.
namespace zebrik::cli {

// Readies standard output for the report. True when the report's own "\r\n" line ends
// go out unchanged (Windows), false when they are to become "\n" (POSIX).
bool PrepareReportOutput();

// Opens (creates, or empties) the trace file for writing; null when that fails.
std::FILE* OpenTraceFile(const std::string& path);

}  // namespace zebrik::cli
