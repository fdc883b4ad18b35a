#include "cli/watch.h"

#include <array>
#include <ctime>
#include <string>

namespace zebrik::cli {
namespace {

// "==== 07.12.2026 14:03:12 ====" in local time, between empty lines as the report
// separates its readers. A trace in a file gets the line too, so that its runs can be told
// apart; on standard error it would only repeat what the terminal shows.
void WriteSeparator(WatchOutput& output) {
    const std::time_t now = std::time(nullptr);
    const std::tm local = LocalTime(now);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%d.%m.%Y %H:%M:%S", &local);
    const std::string line = std::string("==== ") + stamp.data() + " ====";
    output.report.Append("\r\n" + line + "\r\n\r\n");
    if (output.trace != nullptr && !output.trace->OnStandardError()) {
        output.trace->WriteLine(line);
    }
}

}  // namespace

void ReportOnChanges(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output,
                     PcscWatch& watch, const std::atomic<bool>& stopping) {
    ReportAndPrompt pane{output.report, output.prompt};
    for (bool first = true; !stopping; first = false) {
        if (!first) {
            WriteSeparator(output);
        }
        // Taken before the report, so that a card that comes during it is reported next.
        ReaderSnapshot before;
        const bool serviceUp = watch.Take(before);
        // Without pcscd the report itself says so, in its own words.
        RunAnalysis(pane, manager, options);
        output.report.Flush();  // all of it on screen before the wait for a change
        if (stopping || !output.report.Written()) {
            return;
        }
        if (serviceUp ? watch.WaitForChange(before) == PcscWatch::Outcome::Cancelled
                      : !watch.WaitForService()) {
            return;
        }
    }
}

}  // namespace zebrik::cli
