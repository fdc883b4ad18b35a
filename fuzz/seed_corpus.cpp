// zebrik_fuzz_seeds OUTDIR [SMARTCARD_LIST]: every fuzz target's seeds from the simulated cards
// (no binary corpus is kept): each card's dispatch as a script of the fakes (prompts confirmed,
// then cancelled), the responses for the parsers, the ATRs of the cards and of the list.
#include <algorithm>
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
using namespace std::string_literals;
namespace fs = std::filesystem;

// Hands the commands on to the card and answers the prompts with its codes (PIN 1234, PUK
// 12345678), writing each answer down as the chunk that gives it back.
class Recorder : public ForwardingResourceManager, public PinPrompt {
public:
    Recorder(ResourceManager& card, bool confirm)
        : ForwardingResourceManager(card), confirm_(confirm) {}

    std::string script;
    std::vector<std::string> responses;  // the data of every response

    ResultCode Transmit(CardHandle card, SendPci pci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        const ResultCode code = inner_.Transmit(card, pci, command, response, length);
        const std::string got(response.begin(),
                              response.begin() + std::min<std::size_t>(length, response.size()));
        if (code == kScardSuccess && got.size() > 2) {
            responses.push_back(got.substr(0, got.size() - 2));
        }
        testing::Write(script, {code == kScardSuccess ? got : "", {}, code});
        return code;
    }
    bool AskPin(PinEntryBuffer& buffer) override {
        Answer({confirm_, "1234"});
        return prompt_.AskPin(buffer);
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        Answer({confirm_, "12345678", "1234"});
        return prompt_.AskPukAndNewPin(buffer);
    }

private:
    // The PUK fills its 8 characters: the new PIN follows where a prompt chunk has it.
    void Answer(const testing::PinAnswer& answer) {
        testing::Write(script, {answer.confirm ? "\1" + answer.pin + answer.newPin : "\0"s});
        prompt_.answers.push_back(answer);
    }

    bool confirm_;
    testing::ScriptedPinPrompt prompt_;
};

void Save(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Text(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
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
    Save(out / "dispatch" / name,
         std::string{protocol == kProtocolT0 ? '\0' : '\1', static_cast<char>(bus)} +
             recorder.script);
    const std::string calls = testing::ScriptOf({{},
                                                 {reader + '\0' + '\0'},
                                                 {Text(card.atr), {kStatePresent}},
                                                 {"Karte\0Zweiter Name\0\0"s},
                                                 {"", {1, protocol}},
                                                 {"", {kCardSpecific, protocol}}});
    Save(out / "analysis" / name, calls + recorder.script);
    return recorder.responses;
}

void SaveAtrSeeds(const std::vector<sim::CardDescription>& cards, const std::string& list,
                  const fs::path& out) {
    // A list of the cards' ATRs and a few patterns, and the real list in pieces of 4 KiB.
    std::string catalogue =
        "3B 02 14 .0\n\tGSM SIM\n\n3B 8F 80 01 80 4F 0C A0 00 00 03 06 .*\n\tPC/SC\n\n"
        "3B 0[2-4] [0-9A-F,]4 50\n\tclass\n\n";
    for (const sim::CardDescription& card : cards) {
        for (const std::uint8_t byte : card.atr) {
            catalogue += Format("%02X ", byte);
        }
        catalogue += "\n\t" + card.title + "\n\n";
    }
    for (std::size_t i = 0; i < cards.size() + list.size() / 4096; ++i) {
        const auto& atr = cards[i % cards.size()].atr;
        const std::string text =
            i < cards.size() ? catalogue : list.substr((i - cards.size()) * 4096, 4096);
        Save(out / "atr_names" / Format("list-%03zu", i),
             static_cast<char>(atr.size()) + Text(atr) + '\xFF' + text);
    }
    // The cards' ATRs and every 16th ATR of the list, with a clock of 4000 kHz or none.
    std::vector<std::vector<std::uint8_t>> atrs;
    std::ranges::transform(cards, std::back_inserter(atrs), &sim::CardDescription::atr);
    std::istringstream lines(list);
    std::size_t n = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.size() % 3 == 2 &&
            line.find_first_not_of("0123456789ABCDEF ") == std::string::npos && n++ % 16 == 0) {
            atrs.push_back(sim::Hex(line));
        }
    }
    for (std::size_t i = 0; i < atrs.size(); ++i) {
        Save(out / "atr_decode" / Format("atr-%03zu", i),
             std::string(i % 2 ? "\0\0\0\0" : "\xA0\x0F\0\0", 4) + Text(atrs[i]));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const fs::path out = argv[1];
    const std::vector<sim::CardDescription> cards = testing::AllTestCards();
    // One response of each length and first byte: the phone books bring a thousand alike.
    std::map<std::pair<std::size_t, char>, std::string> responses;
    for (const sim::CardDescription& card : cards) {
        for (const bool confirm : {true, false}) {
            for (const std::string& response : Record(card, confirm, out)) {
                responses.try_emplace({response.size(), response[0]}, response);
            }
        }
    }
    // An empty reader and its attributes, numbers and texts.
    std::string empty = testing::ScriptOf({{}, {"Leser\0\0"s}, {"", {kStateEmpty}}, {"", {1, 0}}});
    for (int i = 0; i < 12; ++i) {
        testing::Write(empty, {i % 2 == 0 ? "\3\0\0\1"s : "Zebrik\0"s});
    }
    Save(out / "analysis" / "empty-reader", empty);
    for (const auto& [key, data] : responses) {
        const std::string name = Format("response-%03zu-%02X", key.first, key.second & 0xFF);
        Save(out / "tlv" / name, data);
        Save(out / "gsm_text" / name, static_cast<char>(data.size()) + data);
        for (const char choice : {0, 1, 6, 7}) {
            if (data.size() >= 13 && data.size() <= 40) {  // the statuses of MF, DF and EF
                Save(out / "file_status" / (name + Format("-%d", choice)), choice + data);
            }
        }
    }
    std::ifstream file(argc == 3 ? argv[2] : "", std::ios::binary);
    SaveAtrSeeds(cards, {std::istreambuf_iterator<char>(file), {}}, out);
    return 0;
}
