#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// What the command line does differently on each platform when it writes.
namespace zebrik::cli {

// Readies standard output for the report. True when the report's own "\r\n" line ends
// go out unchanged (Windows), false when they are to become "\n" (POSIX).
bool PrepareReportOutput();

// Writes UTF-8 text to a stream that is a console, as the console wants it (Windows:
// UTF-16, whatever the console's code page); false, with nothing written, when the stream
// is no console or the platform needs nothing of the kind (POSIX).
bool WriteToConsole(std::FILE* stream, std::string_view utf8Text);

// Opens (creates, or empties) the trace file for writing; null when that fails.
std::FILE* OpenTraceFile(const std::string& path);

}  // namespace zebrik::cli
