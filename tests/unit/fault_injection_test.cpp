// A resource-manager failure at every call of a full run, for every card of the catalogue
// and for an empty reader with attributes: the run reports the failure where it happens,
// goes on with the next step or reader, never crashes, closes every connection with
// SCARD_LEAVE_CARD and releases its context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/analysis_run.h"
#include "core/report/pcsc_errors.h"
#include "core/report/text.h"
#include "sim/card_file.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

using sim::Call;
using sim::CallRecord;

constexpr ResultCode kFaults[] = {kScardWRemovedCard, kScardEReaderUnavailable, kScardENoService,
                                  kScardECommDataLost};

constexpr const char* kWitnessHeader = "\r\nChipkartenleser gefunden: \"Leser 2\"\r\n";

// A card holder who knows the codes of every catalogue card: PIN 1234, PUK 12345678.
class KnowingCardHolder : public PinPrompt {
public:
    bool AskPin(PinEntryBuffer& buffer) override {
        std::snprintf(buffer.pin.data(), buffer.pin.size(), "1234");
        return true;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        std::snprintf(buffer.Puk(), 9, "12345678");
        std::snprintf(buffer.NewPin(), 9, "1234");
        return true;
    }
};

// The reader under test: a catalogue card, or the demo's empty reader with attributes.
struct Subject {
    std::string name;
    std::function<sim::SimReader()> make;  // a fresh reader (and card) for every run
};

void PrintTo(const Subject& subject, std::ostream* out) {
    *out << subject.name;
}

sim::SimReader EmptyReaderWithAttributes(std::string name) {
    // Built once: the catalogue behind the demo readers is not cheap to make.
    static const sim::SimReader demo = sim::DemoReaders().front();
    sim::SimReader reader = demo;
    reader.name = std::move(name);
    return reader;
}

std::vector<Subject> Subjects() {
    std::vector<Subject> subjects;
    subjects.push_back({"empty_reader", [] { return EmptyReaderWithAttributes("Leser 1"); }});
    for (const sim::CardDescription& card : sim::AllCards(ZEBRIK_TEST_CARD_DIR)) {
        std::string name = card.name;
        std::replace(name.begin(), name.end(), '-', '_');
        subjects.push_back({name, [card] {
                                sim::SimReader reader;
                                reader.name = "Leser 1";
                                reader.card = std::make_shared<sim::SimCard>(card);
                                return reader;
                            }});
    }
    return subjects;
}

struct RunLog {
    std::string text;
    ResultCode result = 0;
    std::vector<CallRecord> calls;
    std::vector<std::size_t> textAtCall;  // the report's length when call i was made
};

// Called before each call with the manager, the call and its index; returns the fault.
using Hook = std::function<ResultCode(sim::SimResourceManager&, Call, std::size_t)>;

// One run over the subject and, behind it, an empty reader with attributes as a witness
// that the run goes on with the next reader.
RunLog Analyse(const Subject& subject, const Hook& hook) {
    sim::SimResourceManager manager({subject.make(), EmptyReaderWithAttributes("Leser 2")});
    testing::StringReport report;
    KnowingCardHolder holder;
    ReportAndPrompt pane{report, holder};
    RunLog run;
    manager.fault = [&](Call call, std::size_t index) {
        run.textAtCall.push_back(report.text.size());
        return hook ? hook(manager, call, index) : kScardSuccess;
    };
    run.result = RunAnalysis(pane, manager);
    run.text = report.text;
    run.calls = manager.Calls();
    return run;
}

std::string_view View(const std::string& text) {
    return text;
}

// Failures of these calls are written into the report where they happen.
bool IsReported(Call call) {
    return call == Call::EstablishContext || call == Call::ListReaders ||
           call == Call::GetStatusChange || call == Call::Connect || call == Call::Status ||
           call == Call::Transmit;
}

// Every connection that was made is closed once, with SCARD_LEAVE_CARD, before anything
// else happens on it or another reader is taken; the context is released last.
void ExpectEverythingReleased(const RunLog& run, const std::string& where) {
    const auto& calls = run.calls;
    CardHandle open = 0;
    for (const CallRecord& record : calls) {
        switch (record.call) {
            case Call::Connect:
                EXPECT_EQ(open, 0u) << where << ": a connection was not closed before the next";
                if (record.result == kScardSuccess) {
                    open = record.connected;
                }
                break;
            case Call::GetStatusChange:
                EXPECT_EQ(open, 0u) << where << ": the next reader was taken with a card open";
                break;
            case Call::Status:
            case Call::GetAttrib:
            case Call::Transmit:
                EXPECT_EQ(record.handle, open) << where << ": a call on a closed connection";
                break;
            case Call::Disconnect:
                EXPECT_EQ(record.handle, open) << where << ": a disconnect of no connection";
                EXPECT_EQ(record.argument, kLeaveCard) << where << ": the card was not left";
                open = 0;
                break;
            default:
                break;
        }
    }
    EXPECT_EQ(open, 0u) << where << ": a connection was left open";
    ASSERT_FALSE(calls.empty());
    const bool established = calls.front().result == kScardSuccess;
    const auto releases = std::count_if(calls.begin(), calls.end(), [](const CallRecord& c) {
        return c.call == Call::ReleaseContext;
    });
    EXPECT_EQ(releases, established ? 1 : 0) << where;
    if (established) {
        EXPECT_EQ(calls.back().call, Call::ReleaseContext) << where << ": released too early";
    }
}

class FaultInjectionTest : public ::testing::TestWithParam<Subject> {
protected:
    void SetUp() override {
        full_ = Analyse(GetParam(), {});
        ASSERT_EQ(full_.result, kScardSuccess);
        ExpectEverythingReleased(full_, "full run");
        witnessAt_ = full_.text.find(kWitnessHeader);
        ASSERT_NE(witnessAt_, std::string::npos);
        // Each reader is asked for its state once: the second query starts the witness.
        std::size_t queries = 0;
        for (std::size_t i = 0; i < full_.calls.size(); ++i) {
            if (full_.calls[i].call == Call::GetStatusChange && ++queries == 2) {
                witnessCall_ = i;
            }
        }
        ASSERT_GT(witnessCall_, 0u);
    }

    // The report of a run whose call `at` failed with `code` (once, or from then on):
    // identical to the full run up to the failure, the failure's text right there if the
    // call is one that is reported, and the other reader's block untouched.
    void ExpectReportedInPlace(const RunLog& run, std::size_t at, ResultCode code,
                               const std::string& where) const {
        const Call failed = full_.calls[at].call;
        const std::size_t before = full_.textAtCall[at];
        EXPECT_EQ(View(run.text).substr(0, before), View(full_.text).substr(0, before)) << where;
        if (IsReported(failed)) {
            EXPECT_EQ(run.text.compare(before, PcscErrorText(code).size(), PcscErrorText(code)), 0)
                << where << ": the failure is not reported where it happened";
        }
        if (failed == Call::EstablishContext || failed == Call::ListReaders) {
            EXPECT_EQ(run.text, PcscErrorText(code)) << where;
            EXPECT_EQ(run.result, code) << where;
            return;
        }
        EXPECT_EQ(run.result, kScardSuccess) << where;
        if (failed == Call::Disconnect || failed == Call::ReleaseContext) {
            EXPECT_EQ(run.text, full_.text) << where << ": a silent failure changed the report";
        } else if (at < witnessCall_) {
            EXPECT_TRUE(run.text.ends_with(View(full_.text).substr(witnessAt_)))
                << where << ": the next reader was not reported as without the failure";
        } else {
            EXPECT_EQ(View(run.text).substr(0, witnessAt_), View(full_.text).substr(0, witnessAt_))
                << where;
        }
    }

    RunLog full_;
    std::size_t witnessAt_ = 0;
    std::size_t witnessCall_ = 0;
};

TEST_P(FaultInjectionTest, FailureAtAnyCallIsReportedInPlaceAndEverythingIsReleased) {
    RecordProperty("calls", static_cast<int>(full_.calls.size()));
    for (std::size_t at = 0; at < full_.calls.size(); ++at) {
        for (const ResultCode code : kFaults) {
            const RunLog run =
                Analyse(GetParam(), [&](sim::SimResourceManager&, Call, std::size_t i) {
                    return i == at ? code : kScardSuccess;
                });
            const std::string where = Format("failure 0x%08X at call %zu (%s)", code, at,
                                             sim::CallName(full_.calls[at].call));
            ASSERT_GT(run.calls.size(), at) << where;
            ASSERT_EQ(run.calls[at].call, full_.calls[at].call) << where;
            ExpectEverythingReleased(run, where);
            ExpectReportedInPlace(run, at, code, where);
        }
    }
}

// The card is pulled out at call `at` and stays out: every later command to it fails.
TEST_P(FaultInjectionTest, CardPulledOutAtAnyCallEndsItsReadersButNotTheRun) {
    if (!GetParam().make().card) {
        GTEST_SKIP() << "no card to pull out";
    }
    for (std::size_t at = 0; at < witnessCall_; ++at) {
        const RunLog run =
            Analyse(GetParam(), [&](sim::SimResourceManager& manager, Call, std::size_t i) {
                if (i == at) {
                    manager.readers.front().card.reset();
                }
                return kScardSuccess;
            });
        const std::string where = "card pulled out at call " + std::to_string(at) + " (" +
                                  sim::CallName(full_.calls[at].call) + ")";
        ExpectEverythingReleased(run, where);
        const Call failed = full_.calls[at].call;
        if (failed == Call::Transmit || failed == Call::Status) {
            ExpectReportedInPlace(run, at, kScardWRemovedCard, where);
        }
        EXPECT_TRUE(run.text.ends_with(View(full_.text).substr(witnessAt_))) << where;
    }
}

// Listed, but gone when the run asks for its state or connects to it.
TEST_P(FaultInjectionTest, ReaderVanishingAfterTheListIsReportedAndTheNextReaderFollows) {
    for (const Call vanishAt : {Call::GetStatusChange, Call::ListCards, Call::Connect}) {
        bool vanished = false;
        const RunLog run =
            Analyse(GetParam(), [&](sim::SimResourceManager& manager, Call call, std::size_t) {
                if (call == vanishAt && !vanished) {
                    manager.readers.front().vanished = true;
                    vanished = true;
                }
                return kScardSuccess;
            });
        if (!vanished) {
            continue;  // an empty reader asks for no card names
        }
        const std::string where = std::string("reader gone at ") + sim::CallName(vanishAt);
        ExpectEverythingReleased(run, where);
        const ResultCode expected =
            vanishAt == Call::GetStatusChange ? kScardEUnknownReader : kScardEReaderUnavailable;
        const std::string subjectBlock = run.text.substr(0, run.text.find(kWitnessHeader));
        EXPECT_TRUE(subjectBlock.ends_with(PcscErrorText(expected))) << where << "\n" << run.text;
        EXPECT_TRUE(run.text.ends_with(View(full_.text).substr(witnessAt_))) << where;
        EXPECT_EQ(std::count_if(run.calls.begin(), run.calls.end(),
                                [](const CallRecord& c) { return c.call == Call::Transmit; }),
                  0)
            << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, FaultInjectionTest, ::testing::ValuesIn(Subjects()),
                         [](const ::testing::TestParamInfo<Subject>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace zebrik
