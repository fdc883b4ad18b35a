#pragma once

#include <atomic>
#include <ctime>

#include "cli/stream_report.h"
#include "cli/terminal_pin_prompt.h"
#include "cli/trace_file.h"
#include "core/analysis/analysis_run.h"
#include "core/ports/resource_manager.h"
#include "pcsc/pcsc_watch.h"

namespace zebrik::cli {

// What a watch writes to and asks through; all of it outlives the watch.
struct WatchOutput {
    StreamReport& report;
    TerminalPinPrompt& prompt;
    TraceFile* trace;  // null without --trace
};

// Reports once, then again after every card put in or taken out and every reader attached
// or detached, each report under a line with the local time, until SIGINT or SIGTERM.
// While pcscd is away it says so once and waits for it to come back. Returns when a signal
// ended it, or when the report could not be written. Call it before any other thread runs:
// it blocks SIGINT and SIGTERM for the whole process and takes them in a thread of its own.
// On Windows the console's control handler takes Ctrl-C, Ctrl-Break and the closing of the
// console in place of the signals.
void WatchReaders(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output);

// What both platforms' WatchReaders share (watch.cpp): reports, and again after each change,
// until `stopping` is set, the watch is cancelled or the report cannot be written.
void ReportOnChanges(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output,
                     PcscWatch& watch, const std::atomic<bool>& stopping);

// The local time of `now`, from the platform's thread-safe conversion.
std::tm LocalTime(std::time_t now);

}  // namespace zebrik::cli
