#include "core/analysis/analysis_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/analysis/reader_properties.h"
#include "core/cards/memory/memory_card.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Call;

constexpr const char* kNoCard = "Es befindet sich keine Chipkarte im Terminal.\r\n";
constexpr const char* kPropertiesHeading = "\r\nEigenschaften des Chipkartenlesers...\r\n";
constexpr const char* kTwoWireAtr = "3B 04 A2 13 10 91";
constexpr const char* kTwoWireCardOutput =
    "\r\nDie Chipkarte wird als Speicherkarte angesprochen...\r\n"
    "\r\nNatives Protokoll: S=10 (2-Wire Bus)\r\n";

sim::SimReader EmptyReader(std::string name, std::map<std::uint32_t, Bytes> attributes = {}) {
    sim::SimReader reader;
    reader.name = std::move(name);
    reader.attributes = std::move(attributes);
    return reader;
}

sim::CardDescription Card(const char* atr, std::uint32_t protocol = kProtocolT0) {
    sim::CardDescription card;
    card.name = "test";
    card.atr = sim::Hex(atr);
    card.protocol = protocol;
    return card;
}

sim::SimReader CardReader(std::string name, sim::CardDescription card) {
    sim::SimReader reader;
    reader.name = std::move(name);
    reader.card = std::make_shared<sim::SimCard>(std::move(card));
    return reader;
}

// The start of the block of a reader holding the 2-wire memory card, up to the state line.
std::string TwoWireBlockStart(const std::string& reader, const char* protocol = "T=0") {
    return "Chipkartenleser gefunden: \"" + reader + "\"\r\n" +
           "ATR der Chipkarte: 3B 04 A2 13 10 91\r\n" + "Aktives Protokoll: " + protocol + "\r\n";
}

struct Analysis {
    std::string text;
    ResultCode result = 0;
};

Analysis Analyse(ResourceManager& manager) {
    testing::StringReport report;
    report.text = "Bericht des letzten Laufs\r\n";
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    const ResultCode result = RunAnalysis(pane, manager);
    return {report.text, result};
}

std::vector<Call> CallsOf(const sim::SimResourceManager& manager) {
    std::vector<Call> calls;
    for (const sim::CallRecord& record : manager.Calls()) {
        calls.push_back(record.call);
    }
    return calls;
}

// A resource manager that misbehaves where a test asks it to: it hands back raw lists,
// claims lengths beyond what it filled, or reports other protocols and states.
class TamperingManager : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;

    std::optional<std::string> readerList;
    std::optional<std::string> cardNameList;
    std::optional<std::uint32_t> claimedLength;  // for both lists
    std::optional<std::uint32_t> eventState;
    std::optional<std::uint32_t> atrLength;
    std::optional<std::uint32_t> connectProtocol;
    std::optional<std::uint32_t> statusProtocol;
    bool successWithoutHandle = false;

    ResultCode ListReaders(ContextHandle context, std::span<char> buffer,
                           std::uint32_t& length) override {
        const ResultCode code = SimResourceManager::ListReaders(context, buffer, length);
        return readerList ? Hand(*readerList, buffer, length) : code;
    }
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        const ResultCode code = SimResourceManager::ListCards(context, atr, names, length);
        return cardNameList ? Hand(*cardNameList, names, length) : code;
    }
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override {
        const ResultCode code = SimResourceManager::GetStatusChange(context, timeout, state);
        state.eventState = eventState.value_or(state.eventState);
        state.atrLength = atrLength.value_or(state.atrLength);
        return code;
    }
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferred, CardHandle& card,
                       std::uint32_t& protocol) override {
        if (successWithoutHandle) {
            card = 0;
            return kScardSuccess;
        }
        const ResultCode code =
            SimResourceManager::Connect(context, reader, shareMode, preferred, card, protocol);
        protocol = connectProtocol.value_or(protocol);
        return code;
    }
    ResultCode Status(CardHandle card, std::span<char> name, std::uint32_t& nameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        const ResultCode code =
            SimResourceManager::Status(card, name, nameLength, state, protocol, atr, atrLength);
        protocol = statusProtocol.value_or(protocol);
        return code;
    }

private:
    ResultCode Hand(const std::string& raw, std::span<char> buffer, std::uint32_t& length) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        std::copy_n(raw.begin(), std::min(raw.size(), buffer.size()), buffer.begin());
        length = claimedLength.value_or(static_cast<std::uint32_t>(raw.size()));
        return kScardSuccess;
    }
};

TEST(AnalysisRunTest, ContextFailureIsReportedAndReturnedWithNothingToRelease) {
    sim::SimResourceManager manager({EmptyReader("Leser")});
    manager.fault = [](Call call, std::size_t) {
        return call == Call::EstablishContext ? kScardENoService : kScardSuccess;
    };
    const Analysis run = Analyse(manager);
    EXPECT_EQ(run.text, "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt.\r\n");
    EXPECT_EQ(run.result, kScardENoService);
    EXPECT_EQ(CallsOf(manager), std::vector<Call>{Call::EstablishContext});
}

struct ListFailureCase {
    const char* description;
    std::vector<std::string> readerNames;
    std::optional<std::string> rawList;
    ResultCode result;
    const char* text;
};

void PrintTo(const ListFailureCase& listCase, std::ostream* out) {
    *out << listCase.description;
}

class ReaderListFailureTest : public ::testing::TestWithParam<ListFailureCase> {};

TEST_P(ReaderListFailureTest, IsReportedAloneAndTheContextReleased) {
    std::vector<sim::SimReader> readers;
    for (const std::string& name : GetParam().readerNames) {
        readers.push_back(EmptyReader(name));
    }
    TamperingManager manager(readers);
    manager.readerList = GetParam().rawList;
    const Analysis run = Analyse(manager);
    EXPECT_EQ(run.text, GetParam().text);
    EXPECT_EQ(run.result, GetParam().result);
    EXPECT_EQ(CallsOf(manager),
              (std::vector<Call>{Call::EstablishContext, Call::ListReaders, Call::ReleaseContext}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderListFailureTest,
    ::testing::Values(ListFailureCase{"no reader",
                                      {},
                                      std::nullopt,
                                      kScardENoReadersAvailable,
                                      "Es wurde kein Smartcardleser gefunden.\r\n"},
                      ListFailureCase{"an empty list handed back as success",
                                      {"Leser"},
                                      std::string(2, '\0'),
                                      kScardENoReadersAvailable,
                                      "Es wurde kein Smartcardleser gefunden.\r\n"},
                      ListFailureCase{"names too long for 512 bytes",
                                      {std::string(300, 'a'), std::string(300, 'b')},
                                      std::nullopt,
                                      kScardEInsufficientBuffer,
                                      "Fehler 0x80100008\r\n"}));

TEST(AnalysisRunTest, EmptyReadersAreSeparatedByOneEmptyLine) {
    sim::SimResourceManager manager(
        {EmptyReader("Leser A"),
         EmptyReader("Leser B", {{kAttrVendorName, sim::TextAttribute("Zebrik")}})});
    const Analysis run = Analyse(manager);
    EXPECT_EQ(run.text, std::string("Chipkartenleser gefunden: \"Leser A\"\r\n") + kNoCard +
                            kPropertiesHeading + "\r\n" +
                            "Chipkartenleser gefunden: \"Leser B\"\r\n" + kNoCard +
                            kPropertiesHeading + "Hersteller: Zebrik\r\n");
    EXPECT_EQ(run.result, kScardSuccess);
    EXPECT_EQ(manager.Calls().back().call, Call::ReleaseContext);
    EXPECT_FALSE(manager.ContextOpen());
}

TEST(AnalysisRunTest, CardReaderReportsTheCardAndNotTheReaderProperties) {
    sim::SimReader reader = CardReader("Leser", Card(kTwoWireAtr));
    reader.attributes = {{kAttrVendorName, sim::TextAttribute("Zebrik")}};
    sim::SimResourceManager manager({reader});
    manager.cardNames = [](std::span<const std::uint8_t> atr) {
        EXPECT_EQ(Bytes(atr.begin(), atr.end()), sim::Hex(kTwoWireAtr));
        return std::string("SLE 4442\0Speicherkarte\0\0", 24);
    };
    const Analysis run = Analyse(manager);
    EXPECT_EQ(run.text,
              "Chipkartenleser gefunden: \"Leser\"\r\n"
              "ATR der Chipkarte: 3B 04 A2 13 10 91\r\n"
              "Name der Chipkarte: SLE 4442\r\n"
              "Name der Chipkarte: Speicherkarte\r\n"
              "Aktives Protokoll: T=0\r\n" +
                  std::string(kTwoWireCardOutput));
    const auto& calls = manager.Calls();
    const auto connect = std::find_if(calls.begin(), calls.end(), [](const sim::CallRecord& c) {
        return c.call == Call::Connect;
    });
    ASSERT_NE(connect, calls.end());
    EXPECT_EQ(connect->argument, kShareShared);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const sim::CallRecord& c) { return c.call == Call::GetAttrib; }),
              0);
}

struct EventCase {
    std::uint32_t eventState;
    const char* lines;
};

class EventStateTest : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventStateTest, OnlyTheNamedFlagsWriteTheirLinesInOrder) {
    sim::SimReader reader = EmptyReader("Leser");
    reader.connectResult = kScardEInvalidValue;  // ends the block after the state lines
    TamperingManager manager({reader});
    manager.eventState = GetParam().eventState;
    EXPECT_EQ(Analyse(manager).text,
              std::string("Chipkartenleser gefunden: \"Leser\"\r\n") + GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, EventStateTest,
    ::testing::Values(
        EventCase{0, ""}, EventCase{kStateEmpty, kNoCard},
        EventCase{kStateUnpowered | kStateMute | kStateInUse | kStateExclusive | kStateEmpty,
                  "Es befindet sich keine Chipkarte im Terminal.\r\n"
                  "Die Chipkarte wird von einer anderen Anwendung exkusiv verwendet.\r\n"
                  "Die Chipkarte wird von einer anderen Anwendung verwendet.\r\n"
                  "Die Chipkarte ist nicht ansprechbar oder wird vom Kartenterminal oder der "
                  "Software nicht unterstützt.\r\n"
                  "Die Chipkarte wird nicht mit Energie versorgt.\r\n"},
        EventCase{kStateMute | kStateInUse,
                  "Die Chipkarte wird von einer anderen Anwendung verwendet.\r\n"
                  "Die Chipkarte ist nicht ansprechbar oder wird vom Kartenterminal oder der "
                  "Software nicht unterstützt.\r\n"},
        // pcsc-lite's changed/unknown/unavailable/atr-match/unaware bits and its event
        // counter in the upper 16 bits write nothing.
        EventCase{0xFFFF0000 | 0x0800 | 0x0040 | 0x0008 | 0x0004 | 0x0002 | 0x0001, ""}));

TEST(AnalysisRunTest, PresentFlagWithoutAtrCountsAsEmptyReader) {
    TamperingManager manager({EmptyReader("Leser")});
    manager.eventState = kStatePresent;
    EXPECT_EQ(Analyse(manager).text,
              std::string("Chipkartenleser gefunden: \"Leser\"\r\n") + kPropertiesHeading);
    EXPECT_EQ(manager.Calls().at(3).argument, kShareDirect);
}

struct BusCase {
    const char* atr;
    MemoryCardBus bus;
};

class ClassifyAtrTest : public ::testing::TestWithParam<BusCase> {};

TEST_P(ClassifyAtrTest, ComparesExactlyTheFirstThreeBytes) {
    EXPECT_EQ(ClassifyAtr(sim::Hex(GetParam().atr)), GetParam().bus);
}

INSTANTIATE_TEST_SUITE_P(Atrs, ClassifyAtrTest,
                         ::testing::Values(BusCase{"3B 04 49 32 43 2E", MemoryCardBus::I2C},
                                           BusCase{"3B 04 82", MemoryCardBus::I2C},
                                           BusCase{"3B 04 A2 13 10 91", MemoryCardBus::TwoWire},
                                           BusCase{"3B 04 92 FF", MemoryCardBus::ThreeWire},
                                           BusCase{"3B 04 93 23 10 91", MemoryCardBus::None},
                                           BusCase{"3B 14 A2 13 10 91", MemoryCardBus::None},
                                           BusCase{"3F 04 49", MemoryCardBus::None},
                                           BusCase{"3B 04", MemoryCardBus::None},
                                           BusCase{"", MemoryCardBus::None}));

struct CardNameCase {
    std::string names;  // multi-string as the resource manager hands it
    std::string lines;
};

class CardNameTest : public ::testing::TestWithParam<CardNameCase> {};

TEST_P(CardNameTest, WritesOneLineEachCutAfter236Characters) {
    sim::SimResourceManager manager({CardReader("Leser", Card(kTwoWireAtr))});
    manager.cardNames = [names = GetParam().names](std::span<const std::uint8_t>) { return names; };
    EXPECT_EQ(Analyse(manager).text,
              "Chipkartenleser gefunden: \"Leser\"\r\n"
              "ATR der Chipkarte: 3B 04 A2 13 10 91\r\n" +
                  GetParam().lines + "Aktives Protokoll: T=0\r\n" + kTwoWireCardOutput);
}

std::string Nul() {
    return std::string(1, '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Names, CardNameTest,
    ::testing::Values(CardNameCase{"", ""},  // the query fails: nothing written, nothing reported
                      CardNameCase{"Eine" + Nul() + Nul(), "Name der Chipkarte: Eine\r\n"},
                      CardNameCase{std::string(250, 'x') + Nul() + Nul(),
                                   "Name der Chipkarte: " + std::string(236, 'x') + "\r\n"},
                      // A two-byte character as the 236th is kept whole; as the 237th it goes.
                      CardNameCase{std::string(235, 'a') + "äbc" + Nul() + Nul(),
                                   "Name der Chipkarte: " + std::string(235, 'a') + "ä\r\n"},
                      CardNameCase{std::string(236, 'a') + "ä" + Nul() + Nul(),
                                   "Name der Chipkarte: " + std::string(236, 'a') + "\r\n"},
                      // Bytes that are no UTF-8, or control characters, show as U+FFFD.
                      CardNameCase{"Karte\r\n\xE2\x82" + Nul() + Nul(),
                                   "Name der Chipkarte: Karte\uFFFD\uFFFD\uFFFD\uFFFD\r\n"},
                      // What follows the empty name that ends the list is not a name.
                      CardNameCase{"A" + Nul() + Nul() + "B" + Nul() + Nul(),
                                   "Name der Chipkarte: A\r\n"}));

TEST(AnalysisRunTest, CardNamesAreReadNoFurtherThanTheLengthOrTheBuffer) {
    const std::string prefix =
        "Chipkartenleser gefunden: \"Leser\"\r\nATR der Chipkarte: 3B 04 A2 13 10 91\r\n";
    const std::string rest = std::string("Aktives Protokoll: T=0\r\n") + kTwoWireCardOutput;
    {
        TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
        manager.cardNameList = std::string("Alpha\0Beta\0\0", 12);
        manager.claimedLength = 3;
        EXPECT_EQ(Analyse(manager).text, prefix + "Name der Chipkarte: Alp\r\n" + rest);
    }
    {
        // 256 bytes without any NUL and a length far beyond the buffer.
        TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
        manager.cardNameList = std::string(256, 'n');
        manager.claimedLength = 100000;
        EXPECT_EQ(Analyse(manager).text,
                  prefix + "Name der Chipkarte: " + std::string(236, 'n') + "\r\n" + rest);
    }
}

TEST(AnalysisRunTest, ReaderListIsReadNoFurtherThanItsBuffer) {
    TamperingManager manager({EmptyReader("Leser")});
    manager.readerList = std::string(512, 'R');  // no NUL anywhere
    manager.claimedLength = 100000;
    const Analysis run = Analyse(manager);
    // The one name found is not a reader the manager knows: its state query fails.
    EXPECT_EQ(run.text, "Chipkartenleser gefunden: \"" + std::string(512, 'R') +
                            "\"\r\nFehler 0x80100009\r\n");
    EXPECT_EQ(run.result, kScardSuccess);
}

// A fuzz finding: a list of UTF-8 names whose reported length (22) ends inside the second
// name, behind a control character and within a four-byte character. The report shows the
// names as UTF-8; the run hands the cut name back as it came.
TEST(AnalysisRunTest, ReaderNameCutInsideACharacterIsShownAsUtf8AndHandedBackAsItCame) {
    const Bytes list = sim::Hex(
        "F0B19E8B65 00 F0B19E89656D72F0B19E896501F0B19E89756D69696572F0B19E8965 00"
        "F0B19E89656D72F0B19E896501F0B19E89");
    const std::string raw(list.begin(), list.end());
    sim::SimReader cut = EmptyReader(raw.substr(6, 16));
    cut.connectResult = kScardEInvalidValue;
    TamperingManager manager({cut});
    manager.readerList = raw;
    manager.claimedLength = 22;
    EXPECT_EQ(
        Analyse(manager).text,
        "Chipkartenleser gefunden: \"\U0003178Be\"\r\nFehler 0x80100009\r\n"
        "\r\nChipkartenleser gefunden: \"\U00031789emr\U00031789e\uFFFD\uFFFD\uFFFD\uFFFD\"\r\n" +
            std::string(kNoCard));
}

TEST(AnalysisRunTest, LongReaderNameMakesALongerLine) {
    const std::string name(400, 'L');
    sim::SimReader reader = EmptyReader(name);
    reader.connectResult = kScardEInvalidValue;
    sim::SimResourceManager manager({reader});
    EXPECT_EQ(Analyse(manager).text, "Chipkartenleser gefunden: \"" + name + "\"\r\n" + kNoCard);
}

TEST(AnalysisRunTest, AtrLengthBeyondTheRecordShowsOnlyTheRecord) {
    TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
    manager.atrLength = 1000;
    std::string atrLine = "ATR der Chipkarte: 3B 04 A2 13 10 91";
    for (int i = 6; i < 36; ++i) {
        atrLine += " 00";
    }
    EXPECT_EQ(Analyse(manager).text, "Chipkartenleser gefunden: \"Leser\"\r\n" + atrLine + "\r\n" +
                                         "Aktives Protokoll: T=0\r\n" + kTwoWireCardOutput);
}

TEST(AnalysisRunTest, RefusedDirectConnectionWithInvalidValueIsPassedOverInSilence) {
    sim::SimReader refusing = EmptyReader("Leser A", {{kAttrVendorName, sim::TextAttribute("X")}});
    refusing.connectResult = kScardEInvalidValue;
    sim::SimResourceManager manager({refusing, EmptyReader("Leser B")});
    EXPECT_EQ(Analyse(manager).text, std::string("Chipkartenleser gefunden: \"Leser A\"\r\n") +
                                         kNoCard + "\r\nChipkartenleser gefunden: \"Leser B\"\r\n" +
                                         kNoCard + kPropertiesHeading);
}

TEST(AnalysisRunTest, CardHeldExclusivelyReportsTheRefusedSharedConnection) {
    sim::SimReader reader = CardReader("Leser", Card(kTwoWireAtr));
    reader.extraEventFlags = kStateExclusive;
    reader.connectResult = kScardESharingViolation;
    sim::SimResourceManager manager({reader});
    EXPECT_EQ(Analyse(manager).text,
              "Chipkartenleser gefunden: \"Leser\"\r\n"
              "Die Chipkarte wird von einer anderen Anwendung exkusiv verwendet.\r\n"
              "ATR der Chipkarte: 3B 04 A2 13 10 91\r\n"
              "Auf die Smartcard kann aufgrund anderer ausstehender Verbindungen nicht "
              "zugegriffen werden.\r\n");
}

TEST(AnalysisRunTest, ConnectionWithoutHandleCountsAsFailedAndIsNotDisconnected) {
    TamperingManager manager({EmptyReader("Leser")});
    manager.successWithoutHandle = true;
    EXPECT_EQ(Analyse(manager).text, std::string("Chipkartenleser gefunden: \"Leser\"\r\n") +
                                         kNoCard + "Fehler 0x00000000\r\n");
    EXPECT_EQ(CallsOf(manager), (std::vector<Call>{Call::EstablishContext, Call::ListReaders,
                                                   Call::GetStatusChange, Call::ReleaseContext}));
}

TEST(AnalysisRunTest, FailedStatusQueryIsReportedThenTheCardIsLeftAndTheRunGoesOn) {
    sim::SimResourceManager manager(
        {CardReader("Leser A", Card(kTwoWireAtr)), CardReader("Leser B", Card(kTwoWireAtr))});
    bool failed = false;
    manager.fault = [&failed](Call call, std::size_t) {
        if (call == Call::Status && !failed) {
            failed = true;
            return kScardWRemovedCard;
        }
        return kScardSuccess;
    };
    EXPECT_EQ(Analyse(manager).text,
              TwoWireBlockStart("Leser A") +
                  "Es ist keine weitere Kommunikation möglich, da die Smartcard entfernt "
                  "wurde.\r\n\r\n" +
                  TwoWireBlockStart("Leser B") + kTwoWireCardOutput);
    const auto& calls = manager.Calls();
    const auto status = std::find_if(calls.begin(), calls.end(), [](const sim::CallRecord& c) {
        return c.call == Call::Status;
    });
    ASSERT_NE(status + 1, calls.end());
    EXPECT_EQ((status + 1)->call, Call::Disconnect);
    EXPECT_EQ((status + 1)->handle, status->handle);
    EXPECT_EQ((status + 1)->argument, kLeaveCard);
}

struct CardStateCase {
    std::uint32_t state;
    const char* line;
};

class CardStateTest : public ::testing::TestWithParam<CardStateCase> {};

TEST_P(CardStateTest, WritesTheStateLineAndDispatchesInEveryCase) {
    sim::SimReader reader = CardReader("Leser", Card(kTwoWireAtr));
    reader.cardState = GetParam().state;
    sim::SimResourceManager manager({reader});
    EXPECT_EQ(Analyse(manager).text,
              TwoWireBlockStart("Leser") + GetParam().line + kTwoWireCardOutput);
}

constexpr const char* kUnknownState =
    "Die Karte befindet sich in einem unbekannten oder unerwarteten Zustand.\r\n";

INSTANTIATE_TEST_SUITE_P(
    States, CardStateTest,
    ::testing::Values(
        CardStateCase{0, kUnknownState},
        CardStateCase{1, "Es befindet sich keine Chipkarte im Terminal.\r\n"},
        CardStateCase{2,
                      "Es befindet sich eine Karte im Terminal, aber sie wurde nicht in die "
                      "richtige Position gebracht.\r\n"},
        CardStateCase{3,
                      "Es befindet sich eine richtig positionierte Karte im Terminal, sie wird "
                      "jedoch nicht mit Strom versorgt.\r\n"},
        CardStateCase{4,
                      "Die Karte wird mit Strom versorgt, aber der Gerätetreiber kann den Modus "
                      "der Karte nicht ermitteln.\r\n"},
        CardStateCase{5, "Die Karte wurde zurückgesetzt und wartet auf die PTS-Aushandlung.\r\n"},
        CardStateCase{6, ""}, CardStateCase{7, kUnknownState}, CardStateCase{0x40, kUnknownState}));

TEST(AnalysisRunTest, ProtocolLineShowsTheConnectionAndDispatchUsesTheStatusQuery) {
    {
        // Connected under T=1, but the status query says T=0: the memory card is addressed.
        TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
        manager.connectProtocol = kProtocolT1;
        EXPECT_EQ(Analyse(manager).text, TwoWireBlockStart("Leser", "T=1") + kTwoWireCardOutput);
    }
    {
        TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
        manager.connectProtocol = 0x10000;  // pcsc-lite's raw protocol
        EXPECT_EQ(Analyse(manager).text,
                  TwoWireBlockStart("Leser", "undefiniert") + kTwoWireCardOutput);
    }
    {
        // Under any protocol but T=0 and T=1 the card is not addressed at all.
        TamperingManager manager({CardReader("Leser", Card(kTwoWireAtr))});
        manager.statusProtocol = kProtocolUndefined;
        EXPECT_EQ(Analyse(manager).text, TwoWireBlockStart("Leser"));
    }
}

// A few readers of every kind, for the run with a failure at each call in turn.
std::vector<sim::SimReader> MixedReaders() {
    sim::SimReader withAttributes =
        EmptyReader("Leser 1", {{kAttrDeviceSystemName, sim::TextAttribute("Leser 1")},
                                {kAttrVendorName, sim::TextAttribute("Zebrik")},
                                {kAttrVendorIfdVersion, sim::NumberAttribute(0x01000003)},
                                {kAttrChannelId, sim::NumberAttribute(0x00200001)},
                                {kAttrMaxIfsd, sim::NumberAttribute(254)}});
    // A T=0 processor card without files: the SIM readers try it and are refused.
    sim::CardDescription blank =
        Card("3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A");
    return {withAttributes, CardReader("Leser 2", Card(kTwoWireAtr)), CardReader("Leser 3", blank),
            EmptyReader("Leser 4")};
}

std::string KnownCardNames(std::span<const std::uint8_t> atr) {
    return ClassifyAtr(atr) == MemoryCardBus::TwoWire ? std::string("SLE 4442\0\0", 10)
                                                      : std::string();
}

constexpr ResultCode kInjected = 0x80100099;

// Every successful connection is closed with SCARD_LEAVE_CARD before anything else is
// connected or the context released, and no call uses a handle that is not open.
void ExpectConnectionsClosed(const std::vector<sim::CallRecord>& calls, std::size_t at) {
    CardHandle open = 0;
    for (const sim::CallRecord& record : calls) {
        switch (record.call) {
            case Call::Connect:
            case Call::GetStatusChange:
            case Call::ListCards:
            case Call::ReleaseContext:
                EXPECT_EQ(open, 0u) << "failure at call " << at << ": connection left open";
                if (record.call == Call::Connect && record.result == kScardSuccess) {
                    open = record.connected;
                }
                break;
            case Call::Status:
            case Call::GetAttrib:
            case Call::Transmit:
                EXPECT_EQ(record.handle, open) << "failure at call " << at;
                break;
            case Call::Disconnect:
                EXPECT_EQ(record.handle, open) << "failure at call " << at;
                EXPECT_EQ(record.argument, kLeaveCard) << "failure at call " << at;
                open = 0;
                break;
            default:
                break;
        }
    }
    EXPECT_EQ(open, 0u) << "failure at call " << at;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(AnalysisRunTest, FailureAtAnyCallLeavesEveryCardAndReleasesTheContext) {
    sim::SimResourceManager clean(MixedReaders());
    clean.cardNames = KnownCardNames;
    const Analysis cleanRun = Analyse(clean);
    ASSERT_EQ(cleanRun.result, kScardSuccess);
    const std::size_t callCount = clean.Calls().size();
    ASSERT_GT(callCount, 20u);

    for (std::size_t at = 0; at < callCount; ++at) {
        sim::SimResourceManager manager(MixedReaders());
        manager.cardNames = KnownCardNames;
        manager.fault = [at](Call, std::size_t index) {
            return index == at ? kInjected : kScardSuccess;
        };
        const Analysis run = Analyse(manager);
        const std::vector<sim::CallRecord>& calls = manager.Calls();
        ASSERT_GT(calls.size(), at);
        const Call failed = calls[at].call;

        ExpectConnectionsClosed(calls, at);
        const bool established = failed != Call::EstablishContext;
        EXPECT_EQ(
            std::count_if(calls.begin(), calls.end(),
                          [](const sim::CallRecord& c) { return c.call == Call::ReleaseContext; }),
            established ? 1 : 0)
            << "failure at call " << at;
        if (established) {
            EXPECT_EQ(calls.back().call, Call::ReleaseContext) << "failure at call " << at;
        }

        const bool listed = established && failed != Call::ListReaders;
        EXPECT_EQ(run.result, listed ? kScardSuccess : kInjected) << "failure at call " << at;
        EXPECT_EQ(Occurrences(run.text, "Chipkartenleser gefunden: "), listed ? 4u : 0u)
            << "failure at call " << at;

        const std::size_t reported = Occurrences(run.text, "Fehler 0x80100099\r\n");
        switch (failed) {
            case Call::EstablishContext:
            case Call::ListReaders:
                EXPECT_EQ(run.text, "Fehler 0x80100099\r\n") << "failure at call " << at;
                break;
            case Call::GetStatusChange:
            case Call::Connect:
            case Call::Status:
                EXPECT_EQ(reported, 1u) << "failure at call " << at << " not reported once";
                break;
            case Call::ListCards:
            case Call::GetAttrib:
            case Call::Disconnect:
            case Call::ReleaseContext:
                EXPECT_EQ(reported, 0u) << "failure at call " << at << " should be silent";
                break;
            case Call::Transmit:
                break;  // the command exchange decides how a card command failure reads
        }
    }
}

}  // namespace
}  // namespace zebrik
