#include "cli/watch.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "pcsc/pcsc_watch.h"

namespace zebrik::cli {

std::tm LocalTime(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

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
