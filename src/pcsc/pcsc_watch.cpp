#include "pcsc/pcsc_watch.h"

#include <winscard.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string_view>

namespace zebrik {
namespace {

// pcsc-lite's pseudo-reader whose state changes when a reader is attached or detached.
constexpr char kReaderListNotification[] = "\\\\?PnP?\\Notification";
// Once something has changed, events that follow within this time belong to the same
// burst (a reader coming with a card in it, a card pulled and put back) and give one
// report; a reader that keeps changing gives one at least every kLongestBurst.
constexpr DWORD kBurstQuietMs = 250;
constexpr auto kLongestBurst = std::chrono::seconds(1);
constexpr auto kServiceRetry = std::chrono::seconds(1);

// The readers pcscd knows now; none is an empty list, not a failure.
LONG ListReaderNames(SCARDCONTEXT context, std::vector<std::string>& names) {
    names.clear();
    char* list = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    const LONG result = SCardListReaders(context, nullptr, reinterpret_cast<char*>(&list), &length);
    if (result == SCARD_E_NO_READERS_AVAILABLE) {
        return SCARD_S_SUCCESS;
    }
    if (result != SCARD_S_SUCCESS) {
        return result;
    }
    // A multi-string: names ended by NUL, the list by an empty name.
    std::string_view rest(list, length);
    while (!rest.empty() && rest.front() != '\0') {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        names.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    SCardFreeMemory(context, list);
    return SCARD_S_SUCCESS;
}

WatchedReader Watched(const std::string& name, const SCARD_READERSTATE& state) {
    WatchedReader reader{name, (state.dwEventState & SCARD_STATE_PRESENT) != 0, {}};
    if (reader.card) {
        const std::size_t length = std::min<std::size_t>(state.cbAtr, sizeof state.rgbAtr);
        reader.atr.assign(state.rgbAtr, state.rgbAtr + length);
    }
    return reader;
}

// pcscd is gone, or the context with it (a wait that pcscd leaves by ending fails with
// SCARD_F_COMM_ERROR); anything else is worth a pause before trying again.
bool ServiceGone(LONG result) {
    return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED ||
           result == SCARD_F_COMM_ERROR || result == SCARD_E_INVALID_HANDLE;
}

}  // namespace

PcscWatch::~PcscWatch() {
    Disconnect();
}

bool PcscWatch::Connect() {
    const std::lock_guard lock(mutex_);
    if (!hasContext_) {
        SCARDCONTEXT context = 0;
        hasContext_ = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) ==
                      SCARD_S_SUCCESS;
        context_ = hasContext_ ? context : 0;
    }
    return hasContext_;
}

void PcscWatch::Disconnect() {
    const std::lock_guard lock(mutex_);
    if (hasContext_) {
        SCardReleaseContext(context_);
        hasContext_ = false;
        context_ = 0;
    }
}

bool PcscWatch::Cancelled() {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

void PcscWatch::Cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (hasContext_) {
        SCardCancel(context_);
    }
    wake_.notify_all();
}

bool PcscWatch::Pause() {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, kServiceRetry, [this] { return cancelled_; });
}

LONG PcscWatch::Query(std::uint32_t timeout, std::map<std::string, unsigned long>& known,
                      unsigned long& readerList, ReaderSnapshot& snapshot) {
    std::vector<std::string> names;
    if (const LONG result = ListReaderNames(context_, names); result != SCARD_S_SUCCESS) {
        return result;
    }
    std::vector<SCARD_READERSTATE> states(names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        states[i].szReader = names[i].c_str();
        const auto found = known.find(names[i]);
        states[i].dwCurrentState = found == known.end() ? SCARD_STATE_UNAWARE : found->second;
    }
    states.back().szReader = kReaderListNotification;
    states.back().dwCurrentState = readerList;
    const LONG result = SCardGetStatusChange(context_, timeout, states.data(), states.size());
    // A time-out, too, hands back the states as they are (with no reader at all the
    // reader-list notification alone has nothing to report at once).
    if (result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) {
        return result;
    }
    // What pcscd answered is what it is asked about next time: only a change after this
    // answer ends the next query.
    known.clear();
    snapshot.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        known[names[i]] = states[i].dwEventState;
        snapshot.push_back(Watched(names[i], states[i]));
    }
    readerList = states.back().dwEventState;
    return result;
}

bool PcscWatch::Take(ReaderSnapshot& snapshot) {
    std::map<std::string, unsigned long> known;
    unsigned long readerList = SCARD_STATE_UNAWARE;
    if (!Connect()) {
        return false;
    }
    // Every reader unaware of its state: the query answers at once.
    if (const LONG result = Query(0, known, readerList, snapshot);
        result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) {
        Disconnect();
        return false;
    }
    return true;
}

PcscWatch::Outcome PcscWatch::WaitForChange(const ReaderSnapshot& before) {
    std::map<std::string, unsigned long> known;
    unsigned long readerList = SCARD_STATE_UNAWARE;
    std::optional<std::chrono::steady_clock::time_point> changed;
    ReaderSnapshot now;
    while (!Cancelled()) {
        const LONG result = Query(changed ? kBurstQuietMs : INFINITE, known, readerList, now);
        if (result == SCARD_E_TIMEOUT) {
            return Outcome::Changed;  // the burst is over
        }
        if (result == SCARD_E_CANCELLED) {
            break;
        }
        if (result != SCARD_S_SUCCESS) {
            if (!ServiceGone(result) && !Pause()) {
                break;
            }
            Disconnect();
            return Outcome::ServiceLost;
        }
        if (!changed && now != before) {
            changed = std::chrono::steady_clock::now();
        }
        if (changed && std::chrono::steady_clock::now() - *changed >= kLongestBurst) {
            return Outcome::Changed;
        }
    }
    return Outcome::Cancelled;
}

bool PcscWatch::WaitForService() {
    while (Pause()) {
        if (Connect()) {
            return true;
        }
    }
    return false;
}

}  // namespace zebrik
