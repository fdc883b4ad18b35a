#include "core/analysis/analysis_run.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/atr_decode.h"
#include "core/analysis/dispatch.h"
#include "core/analysis/reader_properties.h"
#include "core/cards/memory/memory_card.h"
#include "core/report/pcsc_errors.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

// Room for the names of a good dozen readers; a longer list makes the resource manager
// refuse with SCARD_E_INSUFFICIENT_BUFFER, and the report says so.
constexpr std::size_t kReaderListBytes = 512;
// The card names of one ATR: room for the few names a list gives an ATR. A name is shown
// with at most 236 characters, so that its line is no longer than a report line. A query
// that fails, for want of names or of room, leaves the names out without a word.
constexpr std::size_t kCardNameBytes = 256;
constexpr std::size_t kMaxCardNameCharacters = 236;
// The status query hands back the reader's name and the ATR, which the run does not use
// (the state query gave both); the room only has to satisfy the call: pcsc-lite's reader
// names have at most 128 bytes, an ATR at most 33 (TS and 32 more).
constexpr std::size_t kStatusReaderNameBytes = 256;
constexpr std::size_t kStatusAtrBytes = 33;

struct EventLine {
    std::uint32_t flag;
    std::string_view text;
};

// In the order the report shows them. Other bits of the event state (pcsc-lite's
// "changed" flag, its event counter in the upper 16 bits) write nothing.
constexpr std::array<EventLine, 5> kEventLines = {{
    {kStateEmpty, "Es befindet sich keine Chipkarte im Terminal.\r\n"},
    {kStateExclusive, "Die Chipkarte wird von einer anderen Anwendung exkusiv verwendet.\r\n"},
    {kStateInUse, "Die Chipkarte wird von einer anderen Anwendung verwendet.\r\n"},
    {kStateMute,
     "Die Chipkarte ist nicht ansprechbar oder wird vom Kartenterminal oder der Software nicht "
     "unterstützt.\r\n"},
    {kStateUnpowered, "Die Chipkarte wird nicht mit Energie versorgt.\r\n"},
}};

// The part of a buffer the resource manager says it filled, never more than the buffer.
template <typename T>
std::span<const T> Received(std::span<const T> buffer, std::uint32_t length) {
    return buffer.first(std::min<std::size_t>(length, buffer.size()));
}

// The names of a multi-string, as the resource manager delivered them: each ends at its
// NUL, the list at an empty name. A last name without its NUL is kept as far as the
// received bytes go: the report shows that the list came broken (the bytes of a character
// cut in two show as U+FFFD), and the run hands the bytes back as they came, so that the
// resource manager's answer to them is reported in words.
std::vector<std::string> SplitMultiString(std::span<const char> bytes) {
    std::vector<std::string> names;
    while (!bytes.empty() && bytes.front() != '\0') {
        const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
        const std::size_t length =
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data())
                : bytes.size();
        names.emplace_back(bytes.data(), length);
        bytes = bytes.subspan(std::min(length + 1, bytes.size()));
    }
    return names;
}

std::string_view ProtocolName(std::uint32_t protocol) {
    switch (protocol) {
        case kProtocolT0:
            return "T=0\r\n";
        case kProtocolT1:
            return "T=1\r\n";
        default:
            return "undefiniert\r\n";
    }
}

// The line for the card state of the status query; a card in specific mode, the normal
// state of a connected card, writes none.
std::string_view CardStateLine(std::uint32_t state) {
    switch (state) {
        case kCardAbsent:
            return "Es befindet sich keine Chipkarte im Terminal.\r\n";
        case kCardPresent:
            return "Es befindet sich eine Karte im Terminal, aber sie wurde nicht in die richtige "
                   "Position gebracht.\r\n";
        case kCardSwallowed:
            return "Es befindet sich eine richtig positionierte Karte im Terminal, sie wird "
                   "jedoch nicht mit Strom versorgt.\r\n";
        case kCardPowered:
            return "Die Karte wird mit Strom versorgt, aber der Gerätetreiber kann den Modus der "
                   "Karte nicht ermitteln.\r\n";
        case kCardNegotiable:
            return "Die Karte wurde zurückgesetzt und wartet auf die PTS-Aushandlung.\r\n";
        case kCardSpecific:
            return {};
        default:
            return "Die Karte befindet sich in einem unbekannten oder unerwarteten Zustand.\r\n";
    }
}

void ReportEventState(Report& report, std::uint32_t eventState) {
    for (const EventLine& line : kEventLines) {
        if ((eventState & line.flag) != 0) {
            AppendReport(report, line.text);
        }
    }
}

void ReportAtr(Report& report, std::span<const std::uint8_t> atr) {
    std::string line = "ATR der Chipkarte:";
    for (std::uint8_t byte : atr) {
        line += Format(" %02X", byte);
    }
    line += "\r\n";
    AppendReport(report, line);
}

// The reader's default clock is known only over a connection, which the run opens after
// the card names; the block gives the rates at f(max) and at the reference clock instead.
void ReportAtrDecoded(Report& report, std::span<const std::uint8_t> atr) {
    const std::string block = DescribeAtr(atr);
    std::string indented;
    bool lineStart = true;
    for (const char c : block) {
        if (lineStart) {
            indented += "  ";
        }
        indented += c;
        lineStart = c == '\n';
    }
    AppendReport(report, indented);
}

// The names the resource manager knows for this ATR, one line each. A failed query is
// no fault: most cards have no name there.
void ReportCardNames(Report& report, ResourceManager& manager, ContextHandle context,
                     std::span<const std::uint8_t> atr) {
    std::array<char, kCardNameBytes> names{};
    std::uint32_t length = kCardNameBytes;
    if (manager.ListCards(context, atr, names, length) != kScardSuccess) {
        return;
    }
    for (const std::string& name : SplitMultiString(Received<char>(names, length))) {
        std::string shown;
        AppendUntrustedText(shown, name);
        std::string line = "Name der Chipkarte: ";
        line += CutUtf8(shown, {.characters = kMaxCardNameCharacters});
        line += "\r\n";
        AppendReport(report, line);
    }
}

// The card branch over a shared connection: protocol, card state, then the card's own data.
void ReportConnectedCard(ReportAndPrompt& pane, const CardConnection& card,
                         std::uint32_t connectProtocol, MemoryCardBus bus) {
    AppendReport(pane.report,
                 std::string("Aktives Protokoll: ") + std::string(ProtocolName(connectProtocol)));

    std::array<char, kStatusReaderNameBytes> readerName{};
    std::uint32_t readerNameLength = kStatusReaderNameBytes;
    std::array<std::uint8_t, kStatusAtrBytes> atr{};
    std::uint32_t atrLength = kStatusAtrBytes;
    std::uint32_t state = 0;
    std::uint32_t protocol = kProtocolUndefined;
    if (const ResultCode code = card.manager.Status(card.handle, readerName, readerNameLength,
                                                    state, protocol, atr, atrLength);
        code != kScardSuccess) {
        ReportPcscError(pane.report, code);
        return;
    }
    if (const std::string_view line = CardStateLine(state); !line.empty()) {
        AppendReport(pane.report, line);
    }
    // Whatever the state, the card gets its chance; the status query's protocol is the
    // one in force now.
    DispatchCardFamily(pane, card, protocol, bus);
}

void ReportReader(ReportAndPrompt& pane, ResourceManager& manager, ContextHandle context,
                  const std::string& name, const AnalysisOptions& options) {
    // A name is shown only through AppendUntrustedText: whatever bytes the resource manager
    // sends, the report stays UTF-8 and no name can break a line of it.
    std::string line = "Chipkartenleser gefunden: \"";
    AppendUntrustedText(line, name);
    line += "\"\r\n";
    AppendReport(pane.report, line);

    ReaderState state;
    state.reader = name;
    state.currentState = kStateUnaware;  // so the query answers at once
    if (const ResultCode code = manager.GetStatusChange(context, kInfinite, state);
        code != kScardSuccess) {
        ReportPcscError(pane.report, code);
        return;
    }
    ReportEventState(pane.report, state.eventState);

    const auto atr = Received<std::uint8_t>(state.atr, state.atrLength);
    const bool cardPresent = (state.eventState & kStatePresent) != 0 && !atr.empty();
    MemoryCardBus bus = MemoryCardBus::None;
    if (cardPresent) {
        ReportAtr(pane.report, atr);
        if (options.decodeAtr) {
            ReportAtrDecoded(pane.report, atr);
        }
        bus = ClassifyAtr(atr);
        ReportCardNames(pane.report, manager, context, atr);
    }

    // A card is talked to over a shared connection; an empty reader is reached directly.
    CardConnection connection{manager, 0};
    std::uint32_t protocol = kProtocolUndefined;
    const ResultCode code =
        cardPresent ? manager.Connect(context, name, kShareShared, kProtocolT0 | kProtocolT1,
                                      connection.handle, protocol)
                    : manager.Connect(context, name, kShareDirect, kProtocolUndefined,
                                      connection.handle, protocol);
    if (code != kScardSuccess || connection.handle == 0) {
        // Drivers that allow no direct connection refuse it with SCARD_E_INVALID_VALUE;
        // an empty reader then simply has no properties to show.
        if (code != kScardEInvalidValue) {
            ReportPcscError(pane.report, code);
        }
        return;
    }

    if (cardPresent) {
        ReportConnectedCard(pane, connection, protocol, bus);
    } else {
        ReportReaderProperties(pane, connection);
    }
    // Leave the card as it is: never reset or eject it behind the user's back.
    manager.Disconnect(connection.handle, kLeaveCard);
}

// Returns 0 after the pass, or the code with which listing the readers failed.
ResultCode ReportAllReaders(ReportAndPrompt& pane, ResourceManager& manager, ContextHandle context,
                            const AnalysisOptions& options) {
    std::array<char, kReaderListBytes> list{};
    std::uint32_t length = kReaderListBytes;
    ResultCode code = manager.ListReaders(context, list, length);
    std::vector<std::string> readers;
    if (code == kScardSuccess) {
        readers = SplitMultiString(Received<char>(list, length));
        if (readers.empty()) {
            code = kScardENoReadersAvailable;
        }
    }
    if (code != kScardSuccess) {
        ReportPcscError(pane.report, code);
        return code;
    }
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (i > 0) {
            AppendReport(pane.report, "\r\n");
        }
        ReportReader(pane, manager, context, readers[i], options);
    }
    return kScardSuccess;
}

}  // namespace

ResultCode RunAnalysis(ReportAndPrompt& pane, ResourceManager& manager,
                       const AnalysisOptions& options) {
    pane.report.Clear();
    ContextHandle context = 0;
    if (const ResultCode code = manager.EstablishContext(kScardScopeUser, context);
        code != kScardSuccess) {
        ReportPcscError(pane.report, code);
        return code;
    }
    const ResultCode result = ReportAllReaders(pane, manager, context, options);
    manager.ReleaseContext(context);
    return result;
}

}  // namespace zebrik
