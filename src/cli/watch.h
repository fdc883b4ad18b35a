#pragma once

#include "cli/stream_report.h"
#include "cli/terminal_pin_prompt.h"
#include "cli/trace_file.h"
#include "core/analysis/analysis_run.h"
#include "core/ports/resource_manager.h"

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
void WatchReaders(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output);

}  // namespace zebrik::cli
