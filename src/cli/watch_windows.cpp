#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "cli/watch.h"
#include "pcsc/pcsc_watch.h"

namespace zebrik::cli {
namespace {

// What the console's control handler reaches: the watch and the prompt only under the lock
// and until the watch is done, for they go with it.
struct Ending {
    std::mutex lock;
    PcscWatch* watch = nullptr;
    TerminalPinPrompt* prompt = nullptr;
    std::atomic<bool> stopping = false;
    bool done = false;

    // Cancels the question being asked and the wait; false once the watch is done.
    bool Cancel() {
        const std::lock_guard held(lock);
        if (!done) {
            prompt->Cancel();
            watch->Cancel();
        }
        return !done;
    }
    void Done() {
        const std::lock_guard held(lock);
        done = true;
    }
};
Ending g_ending;

// Windows calls the handler in a thread of its own, for Ctrl-C, Ctrl-Break and the closing
// of the console. A report under way is finished, with a PIN prompt counted as cancelled,
// so that no card is left connected; a second event does not wait for that. WinSCard may
// drop a cancel that comes just before its wait begins, so it is repeated until the watch
// is done. For a closing console Windows ends the process as soon as the handler returns
// (or after five seconds), so the handler keeps waiting until the program has written the
// rest of its report and ended itself with 0.
BOOL WINAPI EndWatch(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (g_ending.stopping.exchange(true)) {
        std::_Exit(0);
    }
    while (g_ending.Cancel()) {
        Sleep(100);
    }
    if (event == CTRL_CLOSE_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

std::tm LocalTime(std::time_t now) {
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}

void WatchReaders(ResourceManager& manager, const AnalysisOptions& options, WatchOutput& output) {
    PcscWatch watch;
    g_ending.watch = &watch;
    g_ending.prompt = &output.prompt;
    SetConsoleCtrlHandler(EndWatch, TRUE);
    ReportOnChanges(manager, options, output, watch, g_ending.stopping);
    g_ending.Done();
}

}  // namespace zebrik::cli
