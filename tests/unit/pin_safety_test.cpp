// The rule above all: the program never changes or blocks a card behind the user's back.
// Checked as properties over many generated SIMs (PIN query on or off, every PIN1 and PUK1
// counter from 0 to 15, codes initialised or not, a status of DF GSM without counters,
// files that answer 98 04 or 98 40) and the card holder's answers at random:
// - VERIFY CHV1 and UNBLOCK CHV1 go out only as the very next command after a confirmed
//   prompt of their kind, once per confirmation, with exactly what was typed;
// - a cancelled prompt sends nothing;
// - with the PIN query on, PIN1 initialised and PIN1 and PUK1 both at 0 in the status,
//   nothing is asked and neither command is sent;
// - what was typed never appears in the report nor in the command trace, neither as text
//   nor as hex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/analysis/analysis_run.h"
#include "core/analysis/command_trace.h"
#include "core/report/text.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

using sim::Bytes;

constexpr int kGeneratedCards = 400;
constexpr std::uint8_t kClaGsm = 0xA0;
constexpr std::uint8_t kInsVerify = 0x20;
constexpr std::uint8_t kInsUnblock = 0x2C;
// Characters no report line is made of, so that a typed value found in the report can
// only have come from the typing.
constexpr char kMarkers[] = "~^|`";

// A card holder's answers, and what the card's command log held at each prompt.
class WatchedCardHolder : public PinPrompt {
public:
    struct Ask {
        bool unblock = false;
        bool confirmed = false;
        std::size_t commandsBefore = 0;
        std::string first;   // PIN or PUK as handed over (at most 8 characters)
        std::string second;  // new PIN
    };

    WatchedCardHolder(std::vector<testing::PinAnswer> answers, const sim::SimCard& card)
        : prompt_(), card_(card) {
        prompt_.answers.assign(answers.begin(), answers.end());
    }

    bool AskPin(PinEntryBuffer& buffer) override {
        Ask ask{false, false, card_.CommandLog().size(), {}, {}};
        EXPECT_EQ(buffer.pin[0], '\0') << "the PIN field did not start empty";
        ask.confirmed = prompt_.AskPin(buffer);
        if (ask.confirmed) {
            ask.first = buffer.pin.data();
        }
        asks.push_back(ask);
        return ask.confirmed;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        Ask ask{true, false, card_.CommandLog().size(), {}, {}};
        EXPECT_EQ(buffer.Puk()[0], '\0');
        EXPECT_EQ(buffer.NewPin()[0], '\0');
        ask.confirmed = prompt_.AskPukAndNewPin(buffer);
        if (ask.confirmed) {
            ask.first = buffer.Puk();
            ask.second = buffer.NewPin();
        }
        asks.push_back(ask);
        return ask.confirmed;
    }

    std::vector<Ask> asks;

private:
    testing::ScriptedPinPrompt prompt_;
    const sim::SimCard& card_;
};

// What the generator chose, for the failure messages and the expectations.
struct GeneratedSim {
    sim::CardDescription card;
    std::vector<testing::PinAnswer> answers;
    bool statusHasCounters = true;
    std::string summary;
};

sim::SimFile* FindFile(sim::SimFile& df, std::uint16_t id) {
    for (sim::SimFile& child : df.children) {
        if (child.id == id) {
            return &child;
        }
        if (sim::SimFile* found = FindFile(child, id)) {
            return found;
        }
    }
    return nullptr;
}

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    GeneratedSim Next() {
        GeneratedSim generated;
        sim::CardDescription& card = generated.card;
        static const sim::CardDescription everyday = *sim::FindCard("sim");
        card = everyday;
        card.chv1Enabled = Chance(60);
        card.chv1.initialised = Chance(85);
        card.chv1.attempts = Counter();
        card.chv1.unblockAttempts = Counter();
        if (Chance(12)) {
            card.chv1.attempts = 0;  // both used up: the case the rule is about
            card.chv1.unblockAttempts = 0;
        }
        card.chv1.maxAttempts = std::max<std::uint8_t>(card.chv1.attempts, 3);
        card.chv1.maxUnblockAttempts = std::max<std::uint8_t>(card.chv1.unblockAttempts, 10);
        const std::string pin = Code(4 + Below(5));
        const std::string puk = Code(8);
        card.chv1.code = sim::ChvCode(pin);
        card.chv1.unblockCode = sim::ChvCode(puk);

        // A status of DF GSM that carries no counters: the card asks for CHV1 itself.
        if (Chance(20)) {
            FindFile(card.mf, 0x7F20)->selectResponse =
                sim::Hex("00 00 10 00 7F 20 02 00 00 00 00 00 00");
            generated.statusHasCounters = false;
        }
        // A card with its PIN query on may refuse any file with 98 04 or 98 40.
        if (card.chv1Enabled) {
            for (std::uint16_t id : {0x6F07, 0x6F38, 0x6F46, 0x6F3A, 0x6F40}) {
                if (Chance(15)) {
                    FindFile(card.mf, id)->selectStatus = Chance(50) ? 0x9804 : 0x9840;
                }
            }
        }

        const int answers = Below(5);
        for (int i = 0; i < answers; ++i) {
            testing::PinAnswer answer;
            answer.confirm = Chance(75);
            switch (Below(5)) {
                case 0:
                    answer.pin = pin;
                    break;
                case 1:
                    answer.pin = puk;
                    answer.newPin = Code(4 + Below(5));
                    break;
                case 2:
                    answer.pin = Code(4 + Below(5));  // wrong
                    answer.newPin = Code(4 + Below(5));
                    break;
                case 3:
                    answer.pin = puk + Code(3);  // too long: only 8 characters count
                    answer.newPin = pin + Code(6);
                    break;
                default:
                    break;  // nothing typed
            }
            generated.answers.push_back(answer);
        }
        generated.summary =
            Format("PIN query %s, PIN1 %s, PIN1 %u, PUK1 %u, %s, %zu answers",
                   card.chv1Enabled ? "on" : "off",
                   card.chv1.initialised ? "initialised" : "not initialised",
                   static_cast<unsigned>(card.chv1.attempts),
                   static_cast<unsigned>(card.chv1.unblockAttempts),
                   generated.statusHasCounters ? "counters in the status" : "no counters",
                   generated.answers.size());
        return generated;
    }

private:
    bool Chance(int percent) { return Below(100) < percent; }
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    // 0 in a quarter of the cards, so that both counters at 0 comes up often.
    std::uint8_t Counter() { return static_cast<std::uint8_t>(Chance(25) ? 0 : 1 + Below(15)); }
    // A code of digits with at least one character no report shows.
    std::string Code(int length) {
        std::string code;
        for (int i = 0; i < length; ++i) {
            code += static_cast<char>('0' + Below(10));
        }
        code[static_cast<std::size_t>(Below(length))] = kMarkers[Below(4)];
        return code;
    }

    std::mt19937 random_;
};

std::vector<std::uint8_t> ChvField(const std::string& typed) {
    std::vector<std::uint8_t> field(8, 0xFF);
    std::copy_n(typed.begin(), std::min<std::size_t>(typed.size(), 8), field.begin());
    return field;
}

std::vector<std::uint8_t> ExpectedCommand(const WatchedCardHolder::Ask& ask) {
    std::vector<std::uint8_t> command = {kClaGsm, ask.unblock ? kInsUnblock : kInsVerify, 0x00,
                                         static_cast<std::uint8_t>(ask.unblock ? 0x00 : 0x01),
                                         static_cast<std::uint8_t>(ask.unblock ? 0x10 : 0x08)};
    const auto first = ChvField(ask.first);
    command.insert(command.end(), first.begin(), first.end());
    if (ask.unblock) {
        const auto second = ChvField(ask.second);
        command.insert(command.end(), second.begin(), second.end());
    }
    return command;
}

bool ChangesCard(const Bytes& command) {
    return command.size() >= 2 && command[0] == kClaGsm &&
           (command[1] == kInsVerify || command[1] == kInsUnblock);
}

std::string HexOf(const std::string& text) {
    std::string hex;
    AppendHexBytes(hex, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    return hex;
}

// As the trace writes bytes: "31 32 33 34".
std::string SpacedHexOf(const std::string& text) {
    std::string hex;
    for (const char c : text) {
        hex += Format(hex.empty() ? "%02X" : " %02X", static_cast<unsigned char>(c));
    }
    return hex;
}

struct TextTrace : TraceSink {
    void WriteLine(std::string_view line) override { text.append(line).append("\n"); }
    std::string text;
};

TEST(PinSafetyTest, GeneratedSimsGetVerifyAndUnblockOnlyAsTheCardHolderConfirmed) {
    Generator generator(20240611);
    int bothUsedUp = 0;
    int verifies = 0;
    int unblocks = 0;
    int cancels = 0;
    for (int n = 0; n < kGeneratedCards; ++n) {
        GeneratedSim generated = generator.Next();
        const bool bothAtZeroInStatus = generated.statusHasCounters && generated.card.chv1Enabled &&
                                        generated.card.chv1.initialised &&
                                        generated.card.chv1.attempts == 0 &&
                                        generated.card.chv1.unblockAttempts == 0;
        sim::SimReader reader;
        reader.name = "Leser";
        reader.card = std::make_shared<sim::SimCard>(generated.card);
        const sim::SimCard& card = *reader.card;
        sim::SimResourceManager cards({std::move(reader)});
        TextTrace trace;
        TracingResourceManager manager(cards, trace);
        testing::StringReport report;
        WatchedCardHolder holder(generated.answers, card);
        ReportAndPrompt pane{report, holder};
        RunAnalysis(pane, manager);
        SCOPED_TRACE("card " + std::to_string(n) + ": " + generated.summary);

        const std::vector<Bytes>& log = card.CommandLog();
        // Each command that changes the card follows its own confirmation directly.
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (!ChangesCard(log[i])) {
                continue;
            }
            const auto ask = std::find_if(holder.asks.begin(), holder.asks.end(),
                                          [&](const auto& a) { return a.commandsBefore == i; });
            ASSERT_NE(ask, holder.asks.end()) << "command " << i << " was sent unasked";
            EXPECT_TRUE(ask->confirmed) << "command " << i << " followed a cancelled prompt";
            EXPECT_EQ(log[i], ExpectedCommand(*ask)) << "command " << i << " carries other codes";
            (ask->unblock ? unblocks : verifies) += 1;
        }
        // A cancelled prompt sends nothing: the next command, if any, is none of the two.
        for (const auto& ask : holder.asks) {
            if (!ask.confirmed) {
                ++cancels;
                if (ask.commandsBefore < log.size()) {
                    EXPECT_FALSE(ChangesCard(log[ask.commandsBefore]));
                }
            }
        }
        if (bothAtZeroInStatus) {
            ++bothUsedUp;
            EXPECT_TRUE(holder.asks.empty()) << "asked for a code of a used-up card";
            EXPECT_EQ(std::count_if(log.begin(), log.end(), ChangesCard), 0);
        }
        EXPECT_EQ(report.selectionsDropped, static_cast<int>(holder.asks.size()));
        for (const auto& ask : holder.asks) {
            for (const std::string& typed : {ask.first, ask.second}) {
                if (typed.size() >= 4) {
                    EXPECT_EQ(report.text.find(typed), std::string::npos) << "typed value shown";
                    EXPECT_EQ(report.text.find(HexOf(typed)), std::string::npos);
                    EXPECT_EQ(trace.text.find(typed), std::string::npos) << "typed value traced";
                    EXPECT_EQ(trace.text.find(SpacedHexOf(typed)), std::string::npos);
                }
            }
        }
        if (::testing::Test::HasFailure()) {
            break;  // one card's story is enough to read
        }
    }
    // The generator must have produced the cases the properties are about.
    EXPECT_GT(bothUsedUp, 10);
    EXPECT_GT(verifies, 50);
    EXPECT_GT(unblocks, 10);
    EXPECT_GT(cancels, 50);
}

}  // namespace
}  // namespace zebrik
