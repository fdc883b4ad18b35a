#include "cli/watch.h"

#include <pthread.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "pcsc/pcsc_watch.h"

namespace zebrik::cli {
namespace {

// "==== 07.12.2026 14:03:12 ====" in local time, between empty lines as the report
// separates its readers. A trace in a file gets the line too, so that its runs can be told
// apart; on standard error it would only repeat what the terminal shows.
void WriteSeparator(WatchOutput& output) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%d.%m.%Y %H:%M:%S", &local);
    const std::string line = std::string("==== ") + stamp.data() + " ====";
    output.report.Append("\r\n" + line + "\r\n\r\n");
    if (output.trace != nullptr && !output.trace->OnStandardError()) {
        output.trace->WriteLine(line);
    }
}

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

}  // namespace

// SIGINT and SIGTERM go to a thread that waits for them alone: it may do what a signal
// handler may not (cancel pcsc-lite's wait). A report under way is finished, with a PIN
// prompt counted as cancelled, so that no card is left connected (pcscd would reset it);
// a second signal does not wait for that.
void WatchReaders(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output) {
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    PcscWatch watch;
    std::atomic<bool> stopping = false;
    std::atomic<bool> done = false;
    std::thread signals([&] {
        int signal = 0;
        sigwait(&ending, &signal);
        stopping = true;
        output.prompt.Cancel();
        // pcsc-lite drops a cancel that comes just before its query blocks: repeat it.
        const timespec tick{0, 100'000'000};
        while (!done) {
            watch.Cancel();
            if (sigtimedwait(&ending, nullptr, &tick) > 0 && !done) {
                std::_Exit(0);
            }
        }
    });
    ReportOnChanges(manager, options, output, watch, stopping);
    done = true;
    // Wakes the thread if no signal came (the report could not be written).
    pthread_kill(signals.native_handle(), SIGTERM);
    signals.join();
}

}  // namespace zebrik::cli
