// A resource-manager failure at every call of a full run of every card, before an empty witness
// reader: reported in place, traced, the witness as before, the watch's rules kept.
#include <gtest/gtest.h>

#include <cstring>

#include "core/analysis/analysis_run.h"
#include "core/report/pcsc_errors.h"
#include "core/report/text.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

using sim::Call;

constexpr const char* kWitness = "\r\nChipkartenleser gefunden: \"Leser 2\"";
constexpr ResultCode kFaults[] = {kScardWRemovedCard, kScardEReaderUnavailable, kScardENoService,
                                  kScardECommDataLost};

// Knows the codes of every card: PIN 1234, PUK 12345678.
struct KnowingCardHolder : PinPrompt {
    bool AskPin(PinEntryBuffer& buffer) override {
        std::strcpy(buffer.pin.data(), "1234");
        return true;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        std::strcpy(buffer.Puk(), "12345678");
        std::strcpy(buffer.NewPin(), "1234");
        return true;
    }
};

struct Outcome {
    std::string text;
    std::string trace;
    ResultCode result = 0;
    std::vector<sim::CallRecord> calls;
    std::vector<std::size_t> textAt;  // the report's length at each call
};

// Before each call: the manager and the call's index; returns the fault, if any.
using Hook = std::function<ResultCode(sim::SimResourceManager&, std::size_t)>;

// The cards by name; "" stands for the demo's empty reader, with its attributes.
std::vector<std::string> Subjects() {
    std::vector<std::string> names = {""};
    for (const sim::CardDescription& card : testing::AllTestCards()) {
        names.push_back(card.name);
    }
    return names;
}

sim::SimReader Subject(const std::string& name, const char* as) {
    static const std::vector<sim::CardDescription> cards = testing::AllTestCards();
    static const sim::SimReader empty = sim::DemoReaders().front();
    const auto card = std::ranges::find(cards, name, &sim::CardDescription::name);
    sim::SimReader reader = card == cards.end() ? empty : testing::CardReader(as, *card);
    reader.name = as;
    return reader;
}

// A run over the subject and the witness, the trace only if asked for: it doubles the time.
Outcome Analyse(const std::string& subject, const Hook& hook, bool trace = false) {
    sim::SimResourceManager manager({Subject(subject, "Leser 1"), Subject("", "Leser 2")});
    KnowingCardHolder holder;
    testing::RuleWatch watch(manager, holder);
    TracingResourceManager traced(watch, watch);
    ReportAndPrompt pane{watch, watch};
    Outcome run;
    manager.fault = [&](Call, std::size_t index) {
        run.textAt.push_back(watch.text.size());
        return hook ? hook(manager, index) : kScardSuccess;
    };
    run.result = RunAnalysis(pane, trace ? static_cast<ResourceManager&>(traced) : watch);
    watch.Finish();
    EXPECT_EQ(watch.broken, "");
    return {watch.text, watch.trace, run.result, manager.Calls(), run.textAt};
}

class FaultInjectionTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        full_ = Analyse(GetParam(), {});
        ASSERT_EQ(full_.result, kScardSuccess);
        witnessAt_ = full_.text.find(kWitness);
        ASSERT_NE(witnessAt_, std::string::npos);
        witnessCall_ = std::find_if(full_.calls.begin() + 3, full_.calls.end(),
                                    [](const auto& c) { return c.call == Call::GetStatusChange; }) -
                       full_.calls.begin();
    }

    // The run disturbed at call `at`, where `code` failed: as the full run up to there, the
    // failure's text right there if that call reports its failures, and the witness as before.
    void ExpectInPlace(const Outcome& run, std::size_t at, ResultCode code) const {
        const std::size_t before = full_.textAt[at];
        ASSERT_GT(run.calls.size(), at);
        EXPECT_EQ(run.calls[at].call, full_.calls[at].call);
        EXPECT_EQ(run.text.substr(0, before), full_.text.substr(0, before));
        const Call call = full_.calls[at].call;
        if (call != Call::ListCards && call != Call::GetAttrib && call != Call::Disconnect &&
            call != Call::ReleaseContext) {
            EXPECT_EQ(run.text.compare(before, PcscErrorText(code).size(), PcscErrorText(code)), 0)
                << "not reported where it happened";
        }
        if (call == Call::EstablishContext || call == Call::ListReaders) {
            EXPECT_EQ(run.text, PcscErrorText(code));
            EXPECT_EQ(run.result, code);
        } else if (call == Call::Disconnect || call == Call::ReleaseContext) {
            EXPECT_EQ(run.text, full_.text) << "a silent failure changed the report";
        } else if (at < witnessCall_) {
            EXPECT_TRUE(run.text.ends_with(full_.text.substr(witnessAt_))) << "witness changed";
            // A reader that cannot be asked or reached ends with the failure.
            EXPECT_TRUE((call != Call::GetStatusChange && call != Call::Connect) ||
                        run.text.substr(0, run.text.find(kWitness)).ends_with(PcscErrorText(code)));
        } else {
            EXPECT_EQ(run.text.substr(0, witnessAt_), full_.text.substr(0, witnessAt_));
        }
    }

    Outcome full_;
    std::size_t witnessAt_ = 0;
    std::size_t witnessCall_ = 0;
};

TEST_P(FaultInjectionTest, FailureAtAnyCallIsReportedInPlaceAndTraced) {
    for (std::size_t at = 0; at < full_.calls.size(); ++at) {
        for (const ResultCode code : kFaults) {
            const Call call = full_.calls[at].call;
            SCOPED_TRACE(Format("0x%08X at call %zu (%s)", code, at, sim::CallName(call)));
            const Outcome run = Analyse(
                GetParam(), [&](auto&, std::size_t i) { return i == at ? code : 0; },
                code == kFaults[0]);
            ExpectInPlace(run, at, code);
            if (code == kFaults[0]) {
                const std::string text = PcscErrorText(code);
                EXPECT_NE(run.trace.find(Format(" ! SCard%s 0x%08X ", sim::CallName(call), code) +
                                         text.substr(0, text.size() - 2) + "\n"),
                          std::string::npos);
            }
        }
    }
}

// Pulled out at call `at`, the card stays out: every later command to it fails.
TEST_P(FaultInjectionTest, CardPulledOutAtAnyCallEndsItsReadersButNotTheRun) {
    for (std::size_t at = 0; !GetParam().empty() && at < witnessCall_; ++at) {
        SCOPED_TRACE(Format("card pulled out at call %zu", at));
        const Outcome run =
            Analyse(GetParam(), [&](sim::SimResourceManager& manager, std::size_t i) {
                if (i == at) {
                    manager.readers.front().card.reset();
                }
                return kScardSuccess;
            });
        const Call call = full_.calls[at].call;
        if (call == Call::Transmit || call == Call::Status) {
            ExpectInPlace(run, at, kScardWRemovedCard);
        }
        EXPECT_TRUE(run.text.ends_with(full_.text.substr(witnessAt_)));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, FaultInjectionTest, ::testing::ValuesIn(Subjects()));

}  // namespace
}  // namespace zebrik
