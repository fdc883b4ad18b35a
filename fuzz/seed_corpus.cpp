// zebrik_fuzz_seeds OUTDIR [SMARTCARD_LIST]: writes the seed corpus of every fuzz target,
// OUTDIR/<target>/, from the simulated cards, so that no binary corpus is kept. Each card's
// dispatch is written down as the script the fakes read back: its answers and the prompts,
// once confirmed with the card's codes and once cancelled; for `analysis` behind the calls
// of a reader holding the card. The parser targets start from the responses, the ATR
// targets from the cards' ATRs and from pieces of a real ATR list.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "core/analysis/dispatch.h"
#include "core/cards/memory/memory_card.h"
#include "core/report/text.h"
#include "support/fakes.h"

namespace {

using namespace zebrik;
using testing::Chunk;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Hands the commands on to the simulated card and answers the prompts with the card's codes
// (PIN 1234, PUK 12345678), writing each answer down as the chunk that gives it back.
class Recorder : public ForwardingResourceManager, public PinPrompt {
public:
    Recorder(ResourceManager& card, bool confirm)
        : ForwardingResourceManager(card), confirm_(confirm) {}

    Bytes script;
    std::vector<std::string> responses;  // the data of every response

    ResultCode Transmit(CardHandle card, SendPci pci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        const ResultCode code = inner_.Transmit(card, pci, command, response, length);
        const std::string received(
            response.begin(), response.begin() + std::min<std::size_t>(length, response.size()));
        if (code == kScardSuccess && received.size() > 2) {
            responses.push_back(received.substr(0, received.size() - 2));
        }
        testing::Write(script, {code == kScardSuccess ? received : "", {}, code});
        return code;
    }
    bool AskPin(PinEntryBuffer& buffer) override {
        return Answer(buffer.pin.data(), "1234", nullptr);
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        return Answer(buffer.Puk(), "12345678", buffer.NewPin());
    }

private:
    bool Answer(char* first, const std::string& code, char* newPin) {
        testing::Write(script,
                       {confirm_ ? "\1" + code + (newPin ? "1234" : "") : std::string(1, '\0')});
        if (confirm_) {
            std::strcpy(first, code.c_str());
            if (newPin != nullptr) {
                std::strcpy(newPin, "1234");
            }
        }
        return confirm_;
    }

    bool confirm_;
};

void Save(const fs::path& file, const std::string& head, const Bytes& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << head << std::string(bytes.begin(), bytes.end());
}

// One dispatch of the card, written down for `dispatch` and `analysis`; returns the responses.
std::vector<std::string> Record(const sim::CardDescription& card, bool confirm,
                                const fs::path& out) {
    const std::string reader = "Zebrik Seed-Leser 0";
    sim::SimResourceManager cards({testing::CardReader(reader, card)});
    ContextHandle context = 0;
    CardHandle handle = 0;
    std::uint32_t protocol = 0;
    cards.EstablishContext(kScardScopeUser, context);
    cards.Connect(context, reader, kShareShared, kProtocolT0 | kProtocolT1, handle, protocol);
    Recorder recorder(cards, confirm);
    testing::StringReport report;
    ReportAndPrompt pane{report, recorder};
    const MemoryCardBus bus = ClassifyAtr(card.atr);
    DispatchCardFamily(pane, CardConnection{recorder, handle}, protocol, bus);

    const std::string name = card.name + (confirm ? "" : "-cancel");
    const char header[] = {protocol == kProtocolT0 ? '\0' : '\1', static_cast<char>(bus)};
    Save(out / "dispatch" / name, std::string(header, 2), recorder.script);
    Bytes calls =
        testing::ScriptOf({{},
                           {reader + '\0' + '\0'},
                           {std::string(card.atr.begin(), card.atr.end()), {kStatePresent}},
                           {std::string("Simulierte Karte\0Zweiter Name\0\0", 31)},
                           {"", {1, protocol}},
                           {"", {kCardSpecific, protocol}}});
    calls.insert(calls.end(), recorder.script.begin(), recorder.script.end());
    Save(out / "analysis" / name, "", calls);
    return recorder.responses;
}

std::string AtrText(std::span<const std::uint8_t> atr) {
    std::string text;
    for (const std::uint8_t byte : atr) {
        text += Format(text.empty() ? "%02X" : " %02X", byte);
    }
    return text;
}

void SaveAtrSeeds(const std::vector<sim::CardDescription>& cards, const char* listFile,
                  const fs::path& out) {
    std::string catalogue =
        "# Zebrik catalogue\n3B 02 14 .0\n\tGSM SIM (pattern)\n\n"
        "3B 8F 80 01 80 4F 0C A0 00 00 03 06 .*\n\tPC/SC part 3 card\n\n"
        "3B 0[2-4] [0-9A-F,]4 50\n\tclass\n\n";
    std::vector<std::vector<std::uint8_t>> atrs;
    for (const sim::CardDescription& card : cards) {
        catalogue += AtrText(card.atr) + "\n\t" + card.title + "\n\n";
        atrs.push_back(card.atr);
    }
    const auto atrNames = [&](const std::string& name, const Bytes& atr, std::string_view list) {
        Save(out / "atr_names" / name, std::string(1, static_cast<char>(atr.size())), atr);
        std::ofstream(out / "atr_names" / name, std::ios::binary | std::ios::app) << '\xFF' << list;
    };
    for (const sim::CardDescription& card : cards) {
        atrNames("catalogue-" + card.name, card.atr, catalogue);
    }
    // Pieces of about 4 KiB of the real list, cut at entry boundaries, and every 16th ATR
    // written out whole in it.
    std::ifstream file(listFile == nullptr ? "" : listFile, std::ios::binary);
    const std::string list{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (std::size_t start = 0, piece = 0; start < list.size() && piece < 64; ++piece) {
        const std::size_t end =
            std::min(list.find("\n\n", std::min(start + 4096, list.size())), list.size());
        atrNames(Format("smartcard-list-%02zu", piece), cards[piece % cards.size()].atr,
                 std::string_view(list).substr(start, end + 2 - start));
        start = end + 2;
    }
    std::istringstream lines(list);
    std::size_t fixed = 0;
    for (std::string line; std::getline(lines, line);) {
        Bytes atr;
        for (std::size_t at = 0; at < line.size() && std::isxdigit(line[at] & 0xFF) &&
                                 std::isxdigit(line[at + 1] & 0xFF);
             at += 3) {
            atr.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16)));
        }
        if (!atr.empty() && atr.size() * 3 == line.size() + 1 && fixed++ % 16 == 0) {
            atrs.push_back(atr);
        }
    }
    for (std::size_t i = 0; i < atrs.size(); ++i) {
        // The clock: 4000 kHz, or none.
        Save(out / "atr_decode" / Format("atr-%03zu", i),
             std::string(i % 2 ? "\0\0\0\0" : "\xA0\x0F\0\0", 4), atrs[i]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: zebrik_fuzz_seeds OUTDIR [SMARTCARD_LIST]\n");
        return 2;
    }
    const fs::path out = argv[1];
    const std::vector<sim::CardDescription> cards = testing::AllTestCards();
    // One response of each length and first byte is variety enough: the large phone books
    // would bring a thousand records alike.
    std::map<std::pair<std::size_t, char>, std::string> responses;
    for (const sim::CardDescription& card : cards) {
        for (const bool confirm : {true, false}) {
            for (const std::string& response : Record(card, confirm, out)) {
                responses.try_emplace({response.size(), response[0]}, response);
            }
        }
    }
    // An empty reader, its attributes as numbers and texts.
    Bytes empty =
        testing::ScriptOf({{}, {std::string("Leser\0\0", 7)}, {"", {kStateEmpty}}, {"", {1, 0}}});
    for (int i = 0; i < 12; ++i) {
        testing::Write(empty,
                       {i % 2 == 0 ? std::string("\3\0\0\1", 4) : std::string("Zebrik\0", 7)});
    }
    Save(out / "analysis" / "empty-reader", "", empty);
    int n = 0;
    for (const auto& [key, data] : responses) {
        const std::string name = Format("response-%03d", n++);
        Save(out / "tlv" / name, data, {});
        Save(out / "gsm_text" / name, std::string(1, static_cast<char>(data.size())) + data, {});
        if (data.size() >= 13 && data.size() <= 40) {  // the statuses of MF, DF and EF
            for (const char choice : {0, 1, 6, 7}) {
                Save(out / "file_status" / (name + Format("-%d", choice)), choice + data, {});
            }
        }
    }
    SaveAtrSeeds(cards, argc == 3 ? argv[2] : nullptr, out);
    std::printf("zebrik_fuzz_seeds: seeds of %zu cards and %zu responses in %s\n", cards.size(),
                responses.size(), out.c_str());
    return 0;
}
