// The command trace: every command the card received, in its order, each with its answer,
// the codes of VERIFY and UNBLOCK masked, and a line for each failed call.
#include "core/analysis/command_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/analysis/analysis_run.h"
#include "core/report/text.h"
#include "sim/card_file.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

struct LineSink : TraceSink {
    void WriteLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

struct TracedRun {
    LineSink trace;
    std::shared_ptr<sim::SimCard> card;
};

std::unique_ptr<TracedRun> TraceCard(const char* name, testing::PinAnswer answer,
                                     std::function<ResultCode(sim::Call, std::size_t)> fault) {
    auto run = std::make_unique<TracedRun>();
    run->card = std::make_shared<sim::SimCard>(*sim::FindCard(name, ZEBRIK_TEST_CARD_DIR));
    sim::SimReader reader;
    reader.name = "Leser";
    reader.card = run->card;
    sim::SimResourceManager cards({reader});
    cards.fault = std::move(fault);
    TracingResourceManager traced(cards, run->trace);
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt{answer};
    ReportAndPrompt pane{report, prompt};
    RunAnalysis(pane, traced);
    return run;
}

TEST(CommandTraceTest, CatalogueCardsShowTheirCommandLogInOrderWithPinAndPukMasked) {
    const std::vector<std::pair<const char*, testing::PinAnswer>> cases = {
        {"geldkarte", {}},
        {"egk", {}},
        {"sim-pin", {true, "1234", ""}},
        {"sim-blocked", {true, "12345678", "4711"}},
    };
    for (const auto& [name, answer] : cases) {
        SCOPED_TRACE(name);
        const auto run = TraceCard(name, answer, nullptr);
        std::vector<std::string> expected;
        for (const sim::Bytes& command : run->card->CommandLog()) {
            const bool secret = command[1] == 0x20 || command[1] == 0x2C;
            std::string line = "Leser >";
            for (std::size_t i = 0; i < command.size(); ++i) {
                line += secret && i >= 5 ? " **" : Format(" %02X", command[i]);
            }
            expected.push_back(line);
            expected.push_back("answer");
        }
        std::vector<std::string> traced;
        for (const std::string& line : run->trace.lines) {
            if (line.starts_with("Leser > ") || line.starts_with("Leser < ")) {
                traced.push_back(line.starts_with("Leser <") ? "answer" : line);
            }
        }
        EXPECT_EQ(traced, expected);
    }
}

TEST(CommandTraceTest, VerifyAndUnblockKeepOnlyTheirHeader) {
    const auto verify = TraceCard("sim-pin", {true, "1234", ""}, nullptr);
    const auto unblock = TraceCard("sim-blocked", {true, "12345678", "4711"}, nullptr);
    EXPECT_NE(std::find(verify->trace.lines.begin(), verify->trace.lines.end(),
                        "Leser > A0 20 00 01 08 ** ** ** ** ** ** ** **"),
              verify->trace.lines.end());
    EXPECT_NE(std::find(unblock->trace.lines.begin(), unblock->trace.lines.end(),
                        "Leser > A0 2C 00 00 10 ** ** ** ** ** ** ** ** ** ** ** ** ** ** ** **"),
              unblock->trace.lines.end());
}

TEST(CommandTraceTest, AFailedCallGivesItsCodeAndGermanText) {
    const auto run = TraceCard("geldkarte", {}, [](sim::Call call, std::size_t) {
        return call == sim::Call::Transmit ? kScardWRemovedCard : kScardSuccess;
    });
    const auto& lines = run->trace.lines;
    const auto failed = std::find(lines.begin(), lines.end(),
                                  "Leser ! SCardTransmit 0x80100069 Es ist keine weitere "
                                  "Kommunikation möglich, da die Smartcard entfernt wurde.");
    ASSERT_NE(failed, lines.end());
    ASSERT_NE(failed, lines.begin());
    EXPECT_TRUE(failed[-1].starts_with("Leser > 00 A4 ")) << failed[-1];
}

}  // namespace
}  // namespace zebrik
