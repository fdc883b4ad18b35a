#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// What the command line does differently on each platform when it writes.
namespace zebrik::cli {

// Readies standard output for the report. True when the report's own "\r\n" line ends
// go out unchanged (Windows), false when they are to become "\n" (POSIX).
bool PrepareReportOutput();

// Whether the stream is a console that wants text its own way (Windows: UTF-16, whatever
// the console's code page); never on POSIX. The program never reopens its streams, so a
// caller asks once.
bool IsConsole(std::FILE* stream);

// Writes UTF-8 text to a stream for which IsConsole holds.
void WriteToConsole(std::FILE* stream, std::string_view utf8Text);

// Opens (creates, or empties) the trace file for writing; null when that fails.
std::FILE* OpenTraceFile(const std::string& path);

}  // namespace zebrik::cli
