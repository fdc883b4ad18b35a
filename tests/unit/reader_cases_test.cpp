#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <set>
#include <sstream>

#include "core/analysis/command_trace.h"
#include "core/analysis/dispatch.h"
#include "core/analysis/reader_properties.h"
#include "core/apdu/cardholder.h"
#include "core/cards/general/general.h"
#include "core/cards/memory/memory_card.h"
#include "core/cards/sim/sim.h"
#include "core/cards/zka/zka.h"
#include "sim/sim_resource_manager.h"
#include "support/card_kit.h"
#include "support/fakes.h"

// The command exchange and each card reader against small cards, as data: the cases of
// tests/unit/data/reader_cases.txt (its head describes the form).
namespace zebrik {
namespace {

using Reader = std::function<int(ReportAndPrompt&, const CardConnection&)>;
using P = ReportAndPrompt;
using C = CardConnection;
constexpr auto kSignature = SerialNumberVariant::SignatureCard;
constexpr auto kGeneral = SerialNumberVariant::GeneralFiles;
constexpr auto kGeneralDir = DirectoryVariant::GeneralFiles;

// What a case can call, by name; for dispatch, protocol and bus are those of the card.
const std::map<std::string, Reader, std::less<>> kReaders = {
    {"sim-cardholder", CheckSimCardholder},
    {"iccid", [](P& p, const C& c) { return ReadSimIccid(p, c); }},
    {"gsm-phase", [](P& p, const C& c) { return ReadGsmPhase(p, c); }},
    {"imsi", [](P& p, const C& c) { return ReadSimImsi(p, c); }},
    {"service-table", [](P& p, const C& c) { return ReadSimServiceTable(p, c); }},
    {"provider-name", ReadServiceProviderName},
    {"abbreviated-dialling", ReadAbbreviatedDiallingNumbers},
    {"fixed-dialling", ReadFixedDiallingNumbers},
    {"own-numbers", ReadOwnNumbers},
    {"last-dialled", ReadLastNumbersDialled},
    {"serial-signature",
     [](P& p, const C& c) { return ReadCardSerialNumber(p, c, {}, kSignature); }},
    {"serial-general", [](P& p, const C& c) { return ReadCardSerialNumber(p, c, {}, kGeneral); }},
    {"directory", [](P& p, const C& c) { return ReadApplicationDirectory(p, c, {}, kGeneralDir); }},
    {"card-version", ReadCardVersion},
    {"insured-data", ReadInsuredDataStatus},
    {"health-pins", ReadHealthPinStatus},
    {"zka-identification", [](P& p, const C& c) { return ReadZkaIdentification(p, c); }},
    {"purse-type", ReadPurseType},
    {"purse-amounts", ReadPurseAmounts},
    {"load-sequence", [](P& p, const C& c) { return ReadLoadSequenceNumber(p, c); }},
    {"payment-sequence", [](P& p, const C& c) { return ReadPaymentSequenceNumber(p, c); }},
    {"load-log", ReadLoadLog},
    {"payment-log", ReadPaymentLog},
    {"bank-connections", ReadBankConnections},
    {"hbci-sequence", [](P& p, const C& c) { return ReadHbciSequenceNumber(p, c); }},
    {"fints-pin-counter", [](P& p, const C& c) { return ReadFintsPinCounter(p, c); }},
    {"signature-pin-counter", [](P& p, const C& c) { return ReadSignaturePinCounter(p, c); }},
    {"global-error-counters", ReadGlobalErrorCounters},
};

const std::string kCasesFile = ZEBRIK_UNIT_DATA_DIR "/reader_cases.txt";

std::vector<std::string> WordsOf(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool IsExpectation(const std::string& line) {
    return line.find_first_of("|><") == 0 || line.starts_with("dropped") || line.starts_with("t ");
}

bool IsAction(const std::string& line) {
    return line.starts_with("send ") || line.starts_with("call ") || line.starts_with("card ");
}

// Anything else that is no instruction of the case describes its card.
bool IsCardLine(const std::string& line) {
    static const std::set<std::string, std::less<>> kInstructions = {"typed",     "fault", "claim",
                                                                     "attribute", "===",   "trace"};
    const auto words = WordsOf(line);
    return !words.empty() && !IsExpectation(line) && !IsAction(line) &&
           !kInstructions.contains(words[0]);
}

// A resource manager that may claim more of an answer than it wrote.
class CaseManager : public sim::SimResourceManager {
public:
    ResultCode Transmit(CardHandle card, SendPci pci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        return Claimed(SimResourceManager::Transmit(card, pci, command, response, length), length);
    }
    ResultCode GetAttrib(CardHandle card, std::uint32_t id, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        return Claimed(SimResourceManager::GetAttrib(card, id, value, length), length);
    }
    ResultCode Claimed(ResultCode code, std::uint32_t& length) {
        length = ++answers >= claimFrom ? claim.value_or(length) : length;
        return code;
    }
    std::optional<std::uint32_t> claim;
    unsigned long claimFrom = 0, answers = 0;
};

// One case run: the card in the only reader, connected shared, and what came of it.
struct CaseRun : TraceSink {
    explicit CaseRun(const std::vector<std::string>& lines, const std::string& origin) {
        // The card's lines keep their line numbers; a title and an ATR come last if none is given.
        std::string card;
        bool titled = false, withAtr = false;
        for (const std::string& line : lines) {
            card += (IsCardLine(line) ? line : "") + "\n";
            titled |= line.starts_with("title ");
            withAtr |= line.starts_with("atr ") || line.starts_with("base ");
        }
        card += std::string(titled ? "" : "title case\n") + (withAtr ? "" : "atr 3B 00\n");
        sim::SimReader reader;
        reader.name = "Testleser";
        reader.card = std::make_shared<sim::SimCard>(
            sim::ParseCardText(card, origin, "case", testing::kTestCards));
        simCard = reader.card;
        manager.readers.push_back(reader);
        ContextHandle context = 0;
        traced.EstablishContext(kScardScopeUser, context);
        traced.Connect(context, "Testleser", kShareShared, kProtocolT0 | kProtocolT1,
                       connection.handle, protocol);
    }

    void Do(const std::string& line) {
        const auto words = WordsOf(line);
        if (words[0] == "typed" && words.size() > 1 && words[1] != "cancel") {
            const auto entry = [&](std::size_t i) {
                return i < words.size() && words[i] != "-" ? words[i] : "";
            };
            prompt.answers.push_back({true, entry(2), words[1] == "puk" ? entry(3) : ""});
        } else if (words[0] == "typed") {
            prompt.answers.push_back({});
        } else if (words[0] == "attribute") {
            const std::size_t equals = line.find(" = ");
            manager.readers.front().attributes[std::stoul(words[1], nullptr, 16)] =
                equals == std::string::npos
                    ? sim::ValueBytes(line.substr(line.find(" :") + 2))
                    : sim::NumberAttribute(std::stoul(line.substr(equals + 3), nullptr, 16));
        } else if (words[0] == "trace") {
            showTrace = true;
        } else if (words[0] == "claim") {
            manager.claimFrom = std::stoul(words[1]);
            manager.claim = static_cast<std::uint32_t>(std::stoul(words[2], nullptr, 16));
        } else if (words[0] == "fault") {
            manager.fault = [n = std::stoul(words[1]), code = std::stoul(words[2], nullptr, 16),
                             count = 0ul](sim::Call call, std::size_t) mutable -> ResultCode {
                return call == sim::Call::Transmit && ++count == n ? code : kScardSuccess;
            };
        }
    }

    std::string Act(const std::string& line) {
        if (line.starts_with("card")) {
            return testing::SpacedHex(simCard->Process(sim::Hex(line.substr(5))));
        }
        return std::to_string(Result(line));
    }

    int Result(const std::string& line) {
        const auto words = WordsOf(line);
        if (words[0] == "send") {
            sent = true;
            received.assign(kResponseCapacity, 0);
            std::uint32_t length = kResponseCapacity;
            const SendPci pci = protocol == kProtocolT0 ? SendPci::T0 : SendPci::T1;
            const int result =
                TransmitApdu(pane, connection, pci, sim::Hex(line.substr(5)), received, length);
            received.resize(std::min<std::size_t>(length, received.size()));
            return result;
        }
        if (words[1] == "reader-properties") {
            ReportReaderProperties(pane, connection);
            return 1;
        }
        if (words[1] == "dispatch") {  // under the card's protocol or the one given
            const std::uint32_t under = words.size() > 2 ? std::stoul(words[2]) : protocol;
            DispatchCardFamily(pane, connection, under, ClassifyAtr(simCard->Description().atr));
            return 1;
        }
        const auto reader = kReaders.find(words[1]);
        EXPECT_NE(reader, kReaders.end()) << "no reader " << words[1];
        return reader == kReaders.end() ? -1 : reader->second(pane, connection);
    }

    void WriteLine(std::string_view line) override { trace += "t " + std::string(line) + "\n"; }

    CaseManager manager;
    TracingResourceManager traced{manager, *this};
    std::string trace;
    bool showTrace = false;
    std::shared_ptr<sim::SimCard> simCard;
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection connection{traced};
    std::uint32_t protocol = kProtocolUndefined;
    sim::Bytes received;
    bool sent = false;
};

// The case as it must read: its own lines with the results of the run, then the report and
// whatever else the case lists, then its closing comments and blank lines.
std::string Rendered(const std::vector<std::string>& lines, const std::string& origin) {
    CaseRun run(lines, origin);
    std::size_t end = lines.size();
    while (end > 1 && (WordsOf(lines[end - 1]).empty() || lines[end - 1].starts_with('#'))) {
        --end;
    }
    std::string text;
    for (std::size_t i = 0; i < end; ++i) {
        const std::string& line = lines[i];
        if (IsAction(line)) {
            const std::string action = line.substr(0, line.find(" ->"));
            text += action + " -> " + run.Act(action) + "\n";
        } else if (!IsExpectation(line)) {
            run.Do(line);
            text += line + "\n";
        }
    }
    text += testing::Piped(run.report.text);
    for (const sim::Bytes& command : run.simCard->CommandLog()) {
        text += "> " + testing::SpacedHex(command) + "\n";
    }
    text += run.sent ? "< " + testing::SpacedHex(run.received) + "\n" : "";
    text += run.showTrace ? run.trace : "";
    const int dropped = run.report.selectionsDropped;
    text += dropped > 0 ? "dropped " + std::to_string(dropped) + "\n" : "";
    for (std::size_t i = end; i < lines.size(); ++i) {
        text += lines[i] + "\n";
    }
    return text;
}

TEST(ReaderCasesTest, EveryCaseGivesItsResultsReportAndCommands) {
    std::istringstream file(testing::FileText(kCasesFile));
    std::string rendered;  // the head as it is, then each case as its run renders it
    std::vector<std::vector<std::string>> cases;
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("===")) {
            cases.emplace_back();
        }
        if (cases.empty()) {
            rendered += line + "\n";
        } else {
            cases.back().push_back(line);
        }
    }
    for (const std::vector<std::string>& lines : cases) {
        rendered += Rendered(lines, "reader_cases.txt, " + lines[0]);
    }
    EXPECT_GT(cases.size(), 200u);
    testing::ExpectTable(kCasesFile, rendered);
}

// The prompts guarantee at most 8 characters; should a longer text ever arrive, only its
// first 8 characters are sent.
TEST(ChvCommandTest, AtMostEightCharactersComeFromAnUnterminatedBuffer) {
    PinEntryBuffer pin;
    pin.pin = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    PinUnblockBuffer unblock;
    std::iota(unblock.bytes.begin(), unblock.bytes.end(), 'A');
    EXPECT_EQ(testing::SpacedHex(BuildVerifyChv1(pin)), "A0 20 00 01 08 31 32 33 34 35 36 37 38");
    EXPECT_EQ(testing::SpacedHex(BuildUnblockChv1(unblock)),
              "A0 2C 00 00 10 41 42 43 44 45 46 47 48 4A 4B 4C 4D 4E 4F 50 51");
}

}  // namespace
}  // namespace zebrik
