#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "core/analysis/dispatch.h"
#include "core/apdu/cardholder.h"
#include "core/cards/general/general.h"
#include "core/cards/memory/memory_card.h"
#include "core/cards/sim/sim.h"
#include "core/cards/zka/zka.h"
#include "sim/sim_resource_manager.h"
#include "support/card_kit.h"
#include "support/fakes.h"

// The command exchange and each card reader against small cards, as data: the cases of
// tests/unit/data/reader_cases.txt. A case is a card in the card-file format (see
// sim/card_file.h; title and ATR may be left out), then what is done to it and what must
// come of it:
//   === NAME                    starts a case
//   typed pin 4711              the card holder's answers in order: pin [TEXT], puk PUK NEW
//   typed puk 87654321 2468     ("-": an empty entry) or cancel; none left: cancel
//   fault 3 80100069            the 3rd transmission fails with that result code
//   send 00 B0 00 00 10 -> 0    TransmitApdu with the command, and its result
//   call sim-cardholder -> 1    a reader of kReaders on the card, and its result
//   card A0 C0 00 00 0F -> 90 00  a command straight to the simulated card, and its answer
//   | Datei '2F02' ...          the report, a line each ("|" alone: an empty line)
//   > 00 B0 00 00 10            every command the card received (">" alone: none), if listed
//   < 90 00                     what the last send received, if listed
//   dropped 1                   how often a prompt dropped the selection, if listed
// ZEBRIK_UPDATE=1 writes results and expectations from the run, for review with git diff.
namespace zebrik {
namespace {

using Reader = std::function<int(ReportAndPrompt&, const CardConnection&)>;
using P = ReportAndPrompt;
using C = CardConnection;

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
     [](P& p, const C& c) {
         return ReadCardSerialNumber(p, c, {}, SerialNumberVariant::SignatureCard);
     }},
    {"serial-general",
     [](P& p, const C& c) {
         return ReadCardSerialNumber(p, c, {}, SerialNumberVariant::GeneralFiles);
     }},
    {"directory",
     [](P& p, const C& c) {
         return ReadApplicationDirectory(p, c, {}, DirectoryVariant::GeneralFiles);
     }},
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

sim::Bytes HexOf(const std::string& text) {
    sim::Bytes bytes;
    std::istringstream in(text);
    for (unsigned byte = 0; in >> std::hex >> byte;) {
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

bool IsExpectation(const std::string& line) {
    return line.starts_with('|') || line.starts_with('>') || line.starts_with('<') ||
           line.starts_with("dropped");
}

bool IsAction(const std::string& line) {
    return line.starts_with("send ") || line.starts_with("call ") || line.starts_with("card ");
}

bool IsCardLine(const std::string& line) {
    const auto words = WordsOf(line);
    return !words.empty() && !words[0].starts_with('#') && !IsExpectation(line) &&
           !IsAction(line) && words[0] != "typed" && words[0] != "fault" && words[0] != "===";
}

// One case run: the card in the only reader, connected shared, and what came of it.
struct CaseRun {
    explicit CaseRun(const std::vector<std::string>& lines, const std::string& origin) {
        std::string card;
        std::string head = "title case\natr 3B 00\n";
        for (const std::string& line : lines) {
            if (line.starts_with("base ")) {
                head = line + "\ntitle case\n";
            } else if (IsCardLine(line)) {
                card += line + "\n";
            }
        }
        sim::SimReader reader;
        reader.name = "Testleser";
        reader.card = std::make_shared<sim::SimCard>(
            sim::ParseCardText(head + card, origin, "case", testing::kTestCards));
        simCard = reader.card;
        manager.readers.push_back(reader);
        ContextHandle context = 0;
        manager.EstablishContext(kScardScopeUser, context);
        manager.Connect(context, "Testleser", kShareShared, kProtocolT0 | kProtocolT1,
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
        } else if (words[0] == "fault") {
            manager.fault = [n = std::stoul(words[1]), code = std::stoul(words[2], nullptr, 16),
                             count = 0ul](sim::Call call, std::size_t) mutable -> ResultCode {
                return call == sim::Call::Transmit && ++count == n ? code : kScardSuccess;
            };
        }
    }

    std::string Act(const std::string& line) {
        if (line.starts_with("card")) {
            return testing::SpacedHex(simCard->Process(HexOf(line.substr(5))));
        }
        return std::to_string(Result(line));
    }

    int Result(const std::string& line) {
        const auto words = WordsOf(line);
        if (words[0] == "send") {
            received.assign(kResponseCapacity, 0);
            std::uint32_t length = kResponseCapacity;
            const SendPci pci = protocol == kProtocolT0 ? SendPci::T0 : SendPci::T1;
            const int result =
                TransmitApdu(pane, connection, pci, HexOf(line.substr(5)), received, length);
            received.resize(std::min<std::size_t>(length, received.size()));
            return result;
        }
        if (words[1] == "dispatch") {
            DispatchCardFamily(pane, connection, protocol, ClassifyAtr(simCard->Description().atr));
            return 1;
        }
        const auto reader = kReaders.find(words[1]);
        EXPECT_NE(reader, kReaders.end()) << "no reader " << words[1];
        return reader == kReaders.end() ? -1 : reader->second(pane, connection);
    }

    sim::SimResourceManager manager;
    std::shared_ptr<sim::SimCard> simCard;
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection connection{manager};
    std::uint32_t protocol = kProtocolUndefined;
    sim::Bytes received;
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
    bool listsCommands = false, listsReceived = false, listsDropped = false;
    for (std::size_t i = 0; i < end; ++i) {
        const std::string& line = lines[i];
        listsCommands |= line.starts_with('>');
        listsReceived |= line.starts_with('<');
        listsDropped |= line.starts_with("dropped");
        if (IsAction(line)) {
            const std::string action = line.substr(0, line.find(" ->"));
            text += action + " -> " + run.Act(action) + "\n";
        } else if (!IsExpectation(line)) {
            run.Do(line);
            text += line + "\n";
        }
    }
    for (std::size_t at = 0; at < run.report.text.size();) {
        const std::size_t next = std::min(run.report.text.find("\r\n", at), run.report.text.size());
        const std::string line = run.report.text.substr(at, next - at);
        text += (line.empty() ? "|" : "| " + line) + "\n";
        at = next + 2;
    }
    for (const sim::Bytes& command : run.simCard->CommandLog()) {
        text += listsCommands ? "> " + testing::SpacedHex(command) + "\n" : "";
    }
    text += listsCommands && run.simCard->CommandLog().empty() ? ">\n" : "";
    text += listsReceived ? "< " + testing::SpacedHex(run.received) + "\n" : "";
    text += listsDropped ? "dropped " + std::to_string(run.report.selectionsDropped) + "\n" : "";
    for (std::size_t i = end; i < lines.size(); ++i) {
        text += lines[i] + "\n";
    }
    return text;
}

TEST(ReaderCasesTest, EveryCaseGivesItsResultsReportAndCommands) {
    std::ifstream file(kCasesFile);
    ASSERT_TRUE(file) << kCasesFile;
    std::vector<std::vector<std::string>> cases(1);  // the lines before the first case
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("===")) {
            cases.emplace_back();
        }
        cases.back().push_back(line);
    }
    const char* update = std::getenv("ZEBRIK_UPDATE");
    const bool updating = update != nullptr && std::string_view(update) == "1";
    std::string rewritten;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::string written;
        for (const std::string& line : cases[i]) {
            written += line + "\n";
        }
        const std::string expected =
            i == 0 ? written : Rendered(cases[i], "reader_cases.txt, " + cases[i][0]);
        if (!updating) {
            EXPECT_EQ(expected, written) << cases[i][0];
        }
        rewritten += expected;
    }
    if (updating) {
        std::ofstream(kCasesFile, std::ios::binary) << rewritten;
    }
}

// A resource manager that claims far more bytes than it was offered is not believed: the
// status word is read from the end of the room offered, never beyond it.
TEST(TransmitApduTest, NoMoreBytesAreBelievedThanTheRoomOffered) {
    class Boasting : public sim::SimResourceManager {
    public:
        using SimResourceManager::SimResourceManager;
        ResultCode Transmit(CardHandle card, SendPci pci, std::span<const std::uint8_t> command,
                            std::span<std::uint8_t> response, std::uint32_t& length) override {
            const ResultCode code =
                SimResourceManager::Transmit(card, pci, command, response, length);
            length = 0xFFFFFFF0;
            return code;
        }
    };
    CaseRun run({"answer 00 B0 00 00 00 : 01 02 03 04 90 00"}, "boasting");
    Boasting manager(run.manager.readers);
    ContextHandle context = 0;
    manager.EstablishContext(kScardScopeUser, context);
    CardConnection connection{manager};
    std::uint32_t protocol = 0;
    manager.Connect(context, "Testleser", kShareShared, kProtocolT1, connection.handle, protocol);
    std::array<std::uint8_t, 300> buffer{};
    std::uint32_t length = 16;  // less room than the buffer has: the length counts
    ApduResponse response;

    EXPECT_EQ(
        TransmitApdu(run.pane, connection, SendPci::T1, HexOf("00 B0 00 00 00"), buffer, length),
        0);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(SendCommand(run.pane, connection, SendPci::T1, HexOf("00 B0 00 00 00"), response), 0);
    EXPECT_EQ(response.length, 0u);
    EXPECT_EQ(run.report.text,
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '00 00'\r\n"
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '00 00'\r\n");
}

// The prompts guarantee at most 8 characters; should a longer text ever arrive, only its
// first 8 characters are sent.
TEST(ChvCommandTest, AtMostEightCharactersComeFromAnUnterminatedBuffer) {
    PinEntryBuffer pin;
    pin.pin = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    PinUnblockBuffer unblock;
    for (std::size_t i = 0; i < unblock.bytes.size(); ++i) {
        unblock.bytes[i] = static_cast<char>('A' + i);
    }
    EXPECT_EQ(testing::SpacedHex(BuildVerifyChv1(pin)), "A0 20 00 01 08 31 32 33 34 35 36 37 38");
    EXPECT_EQ(testing::SpacedHex(BuildUnblockChv1(unblock)),
              "A0 2C 00 00 10 41 42 43 44 45 46 47 48 4A 4B 4C 4D 4E 4F 50 51");
}

}  // namespace
}  // namespace zebrik
