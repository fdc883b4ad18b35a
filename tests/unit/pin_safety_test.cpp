// The rule above all: the program never changes or blocks a card behind the user's back,
// as properties over 400 generated SIMs and UICCs and random answers of the card holder,
// under the rule watch and the command trace (docs/robustness.md lists what is generated
// and checked).
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "core/analysis/analysis_run.h"
#include "core/report/text.h"
#include "support/card_kit.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

// Characters no report line is made of: a typed value found in the report came from typing.
constexpr char kMarkers[] = "~^|`";

struct GeneratedSim {
    sim::CardDescription card;
    std::deque<testing::PinAnswer> answers;
    bool bothUsedUp = false;  // as the status says
};

sim::SimFile* FileIn(sim::SimFile& df, std::uint16_t id) {
    for (sim::SimFile& child : df.children) {
        sim::SimFile* found = child.id == id ? &child : FileIn(child, id);
        if (found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    GeneratedSim Next() {
        static const sim::CardDescription everyday = *sim::FindCard("sim");
        static const sim::CardDescription uicc = *sim::FindCard("usim-only");
        GeneratedSim generated;
        const bool usim = Chance(30);  // a UICC of class 00 alone: its USIM application
        generated.card = usim ? uicc : everyday;
        sim::CardDescription& card = generated.card;
        card.chv1Enabled = Chance(60);
        card.chv1.initialised = Chance(85);
        const bool usedUp = Chance(12);  // both at 0: the case the rule is about, besides chance
        card.chv1.attempts = usedUp ? 0 : Counter();
        card.chv1.unblockAttempts = usedUp ? 0 : Counter();
        card.chv1.maxAttempts = std::max<std::uint8_t>(card.chv1.attempts, 3);
        card.chv1.maxUnblockAttempts = std::max<std::uint8_t>(card.chv1.unblockAttempts, 10);
        const std::string pin = Code(4 + Below(5));
        const std::string puk = Code(8);
        card.chv1.code = sim::ChvCode(pin);
        card.chv1.unblockCode = sim::ChvCode(puk);
        // A status without counters: the card asks for CHV1 itself.
        const bool counters = usim || Chance(80);
        if (!counters) {
            FileIn(card.mf, 0x7F20)->selectResponse =
                sim::Hex("00 00 10 00 7F 20 02 00 00 00 00 00 00");
        }
        for (const std::uint16_t id : {0x6F07, 0x6F38, 0x6F46, 0x6F3A, 0x6F40}) {
            if (!usim && card.chv1Enabled && Chance(15)) {
                FileIn(card.mf, id)->selectStatus = Chance(50) ? 0x9804 : 0x9840;
            }
        }
        for (int i = Below(5); i > 0; --i) {
            // The PIN, the PUK and a new PIN, wrong codes, more than 8 characters, nothing.
            const std::pair<std::string, std::string> typed[] = {{pin, ""},
                                                                 {puk, Code(4 + Below(5))},
                                                                 {Code(4 + Below(5)), Code(4)},
                                                                 {puk + Code(3), pin + Code(6)},
                                                                 {"", ""}};
            const auto& [first, second] = typed[Below(5)];
            generated.answers.push_back({Chance(75), first, second});
        }
        generated.bothUsedUp = counters && card.chv1Enabled && (usim || card.chv1.initialised) &&
                               card.chv1.attempts == 0 && card.chv1.unblockAttempts == 0;
        return generated;
    }

private:
    bool Chance(int percent) { return Below(100) < percent; }
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    // 0 in a quarter of the cards, so that both counters at 0 comes up often.
    std::uint8_t Counter() { return static_cast<std::uint8_t>(Chance(25) ? 0 : 1 + Below(15)); }
    // Digits and one marker.
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

TEST(PinSafetyTest, GeneratedSimsAreChangedOnlyAsTheCardHolderConfirmed) {
    Generator generator(20240611);
    int bothUsedUp = 0, verifies = 0, unblocks = 0, usimCodes = 0;
    std::size_t cancels = 0;
    for (int n = 0; n < 400 && !HasFailure(); ++n) {
        SCOPED_TRACE("card " + std::to_string(n));
        const GeneratedSim generated = generator.Next();
        sim::SimResourceManager cards({testing::CardReader("Leser", generated.card)});
        const sim::SimCard& card = *cards.readers[0].card;
        testing::ScriptedPinPrompt prompt;
        prompt.answers = generated.answers;
        testing::RuleWatch watch(cards, prompt);
        TracingResourceManager traced(watch, watch);
        ReportAndPrompt pane{watch, watch};
        RunAnalysis(pane, traced);
        watch.Finish();
        EXPECT_EQ(watch.broken, "");
        cancels += watch.prompts - watch.confirmed;
        if (generated.bothUsedUp) {
            ++bothUsedUp;
            EXPECT_EQ(watch.prompts, 0u) << "asked for a code of a used-up card";
        }

        for (const sim::Bytes& command : card.CommandLog()) {
            verifies += command[1] == 0x20;
            unblocks += command[1] == 0x2C;
            usimCodes += command[0] == 0x00 && command.size() > 5 &&
                         (command[1] == 0x20 || command[1] == 0x2C);
        }
        // Neither the report nor the trace shows a typed value, as text or in hex.
        for (const std::string& typed : watch.typed) {
            const std::string spaced = testing::SpacedHex(
                {reinterpret_cast<const std::uint8_t*>(typed.data()), typed.size()});
            std::string hex = spaced;
            std::erase(hex, ' ');
            for (const std::string& shown : {typed, hex, spaced}) {
                EXPECT_TRUE(typed.size() < 4 || (watch.text.find(shown) == std::string::npos &&
                                                 watch.trace.find(shown) == std::string::npos))
                    << typed << " shown";
            }
        }
    }
    // The generator must have produced the cases the properties are about.
    EXPECT_GT(bothUsedUp, 10);
    EXPECT_GT(verifies, 50);
    EXPECT_GT(unblocks, 10);
    EXPECT_GT(usimCodes, 10);
    EXPECT_GT(cancels, 50u);
}

}  // namespace
}  // namespace zebrik
