#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zebrik {

// A reader as the watch compares it: its name, and whether a card is in it with which ATR.
// Nothing else of the reader's state counts: a report connects to the cards, which sets
// and clears their in-use flags and moves pcsc-lite's event counter, and a watch that
// counted those would report again after each of its own reports.
struct WatchedReader {
    std::string name;
    bool card = false;
    std::vector<std::uint8_t> atr;  // empty without a card

    bool operator==(const WatchedReader&) const = default;
};
using ReaderSnapshot = std::vector<WatchedReader>;

// Waits for cards and readers to come and go, through pcsc-lite's status-change query with
// an infinite time-out over every reader and the reader-list notification: no polling while
// pcscd runs. Owns one context of its own, apart from those of the reports.
class PcscWatch {
public:
    enum class Outcome { Changed, Cancelled, ServiceLost };

    PcscWatch() = default;
    ~PcscWatch();
    PcscWatch(const PcscWatch&) = delete;
    PcscWatch& operator=(const PcscWatch&) = delete;

    // The readers and their cards now; false when the resource manager cannot be reached.
    bool Take(ReaderSnapshot& snapshot);
    // Returns once the readers or their cards differ from `before`, after further events
    // have calmed down (so that a burst gives one report), or when cancelled, or when the
    // resource manager has gone away.
    Outcome WaitForChange(const ReaderSnapshot& before);
    // Tries about once a second until the resource manager answers again; false when
    // cancelled.
    bool WaitForService();
    // Ends the wait under way and every later one. Safe from any thread (not from a signal
    // handler). pcsc-lite drops a cancel that comes just before the query blocks, so the
    // caller repeats it until the waiting thread is done.
    void Cancel();

private:
    bool Connect();
    void Disconnect();
    bool Cancelled();
    // Waits about a second; false when cancelled meanwhile.
    bool Pause();
    // One status-change query over every reader and the reader list, each with the state
    // it had in the last answer (`known`, `readerList`); unaware of it the first time.
    long Query(std::uint32_t timeout, std::map<std::string, unsigned long>& known,
               unsigned long& readerList, ReaderSnapshot& snapshot);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    bool hasContext_ = false;
    std::intptr_t context_ = 0;  // SCARDCONTEXT, as wide as a pointer on Windows
};

}  // namespace zebrik
