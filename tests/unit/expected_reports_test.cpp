#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/line_ends.h"
#include "core/analysis/analysis_run.h"
#include "pcsc/card_names.h"
#include "sim/sim_resource_manager.h"
#include "support/card_kit.h"
#include "support/fakes.h"

// The end-to-end cases of tests/e2e/expected (see run_e2e.sh) once more, in process, over
// the two readers vpcd shows ("Zebrik vpcd 00 00" with CARD, "Zebrik vpcd 00 01" empty,
// neither with attributes); tests/unit/data/reports holds the cases no card behind pcscd can
// give, and demo.txt, the report of zebrik-report --demo. ZEBRIK_UPDATE=1 writes report and
// commands from the run, for review by eye.
namespace zebrik {
namespace {

namespace fs = std::filesystem;
const fs::path kEndToEnd = ZEBRIK_E2E_EXPECTED_DIR;
const fs::path kInProcessOnly = ZEBRIK_UNIT_DATA_DIR "/reports";
constexpr std::string_view kNameLine = "Name der Chipkarte: ";

// Card names as pcscd's resource manager gives them: from pcsc-tools' list. The demo's
// manager knows none.
class VpcdManager : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    bool demo = false;
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        return demo ? SimResourceManager::ListCards(context, atr, names, length)
                    : ListCardNames(std::string(kDebianSmartcardList), atr, names, length);
    }
};

// The card holder at zebrik-report's terminal, typing the answers of a .input file in
// order ("PROMPT => ANSWER"): an empty answer or <EOF> cancels, a new PIN whose repetition
// differs is asked for again. Without a .input every question is cancelled.
class TerminalAnswers : public PinPrompt {
public:
    explicit TerminalAnswers(const fs::path& input) : scripted_(fs::exists(input)) {
        std::istringstream lines(testing::FileText(input));
        for (std::string line, answer; std::getline(lines, line);) {
            const std::size_t arrow = line.find(" =>");
            if (!line.starts_with('#') && arrow != std::string::npos) {
                answer.clear();
                std::istringstream(line.substr(arrow + 3)) >> answer;
                answers_.emplace_back(line.substr(0, arrow), answer);
            }
        }
    }
    ~TerminalAnswers() override { EXPECT_TRUE(answers_.empty()) << "a prompt never asked"; }

    bool AskPin(PinEntryBuffer& buffer) override { return Ask("PIN-Code:", buffer.pin.data()); }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        std::array<char, 9> again{};
        bool typed = Ask("PUK:", buffer.Puk());
        while (
            typed &&
            (typed = Ask("Neue PIN:", buffer.NewPin()) && Ask("PIN wiederholen:", again.data())) &&
            std::string_view(again.data()) != buffer.NewPin()) {
        }
        return typed;
    }

private:
    bool Ask(const std::string& prompt, char* entry) {
        EXPECT_TRUE(!scripted_ || !answers_.empty()) << "an unexpected prompt " << prompt;
        if (answers_.empty()) {
            return false;
        }
        const auto [expected, answer] = answers_.front();
        answers_.pop_front();
        EXPECT_EQ(expected, prompt);
        EXPECT_TRUE(answer != "<INTR>" && answer.size() <= kMaxPinLength)
            << "Ctrl-C, or an answer the terminal asks for again: an end-to-end case only";
        if (answer.empty() || answer == "<EOF>") {
            return false;
        }
        std::strncpy(entry, answer.c_str(), kMaxPinLength)[kMaxPinLength] = '\0';
        return true;
    }

    bool scripted_;
    std::deque<std::pair<std::string, std::string>> answers_;
};

// The report as zebrik-report writes it; without names when the expected report has none
// (the list of names changes with pcsc-tools, so only a case about names keeps them).
std::string ReportText(const std::string& report, bool withNames) {
    cli::LineEndConverter lineEnds;
    std::istringstream lines(lineEnds.Convert(report) + lineEnds.Finish());
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        if (withNames || !line.starts_with(kNameLine)) {
            text += line + "\n";
        }
    }
    return text;
}

// Every expected report by its path without .txt.
std::vector<fs::path> Cases() {
    std::set<fs::path> cases;
    for (const fs::path& folder : {kEndToEnd, kInProcessOnly}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".txt") {
                cases.insert(fs::path(entry.path()).replace_extension());
            }
        }
    }
    return {cases.begin(), cases.end()};
}

class ExpectedReportTest : public ::testing::TestWithParam<fs::path> {};

TEST_P(ExpectedReportTest, TheRunGivesTheReportAndTheCommandsOfTheExpectedFiles) {
    const std::string stem = GetParam().filename().string();
    const fs::path report = fs::path(GetParam()).replace_extension(".txt");
    const fs::path commands = fs::path(GetParam()).replace_extension(".apdu");
    const std::string expected = testing::FileText(report);
    const bool withNames = expected.find(kNameLine) != std::string::npos;
    if (withNames && !fs::exists(kDebianSmartcardList) && !testing::Updating()) {
        GTEST_SKIP() << "the report names the card, but pcsc-tools' list is not installed";
    }
    const bool demo = stem == "demo";
    const sim::SimReader withCard = testing::CardReader(
        "Zebrik vpcd 00 00",
        demo ? sim::CardDescription{}
             : sim::FindCard(stem.substr(0, stem.find('@')), testing::kTestCards).value());
    sim::SimReader empty;
    empty.name = "Zebrik vpcd 00 01";
    VpcdManager manager(demo ? sim::DemoReaders() : std::vector{withCard, empty});
    manager.demo = demo;
    testing::StringReport pane;
    TerminalAnswers typed(fs::path(GetParam()).replace_extension(".input"));
    ReportAndPrompt reportAndPrompt{pane, typed};

    // A CARD[@VARIANT].args gives zebrik-report options; of them only --atr changes the run.
    const fs::path args = fs::path(GetParam()).replace_extension(".args");
    AnalysisOptions options;
    options.decodeAtr =
        fs::exists(args) && testing::FileText(args).find("--atr") != std::string::npos;
    EXPECT_EQ(RunAnalysis(reportAndPrompt, manager, options), kScardSuccess);

    const std::string actual = ReportText(pane.text, withNames);
    std::string sent;
    for (const sim::Bytes& command : withCard.card->CommandLog()) {
        sent += testing::SpacedHex(command) + "\n";
    }
    std::erase(sent, ' ');
    if (testing::Updating()) {
        std::ofstream(report, std::ios::binary) << actual;
        std::ofstream(demo ? "/dev/null" : commands, std::ios::binary) << sent;
        return;
    }
    EXPECT_EQ(actual, expected);
    if (fs::exists(commands)) {
        EXPECT_EQ(sent, testing::FileText(commands));
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEndCases, ExpectedReportTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                             std::string name = info.param.filename().string();
                             std::replace_if(name.begin(), name.end(), ::ispunct, '_');
                             return name;
                         });

TEST(ExpectedReportTest, EveryCardHasAnExpectedReportAndCommandList) {
    const std::vector<fs::path> cases = Cases();
    for (const sim::CardDescription& card : testing::AllTestCards()) {
        EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [&](const fs::path& path) {
            const std::string stem = path.filename().string();
            return (stem == card.name || stem.starts_with(card.name + "@")) &&
                   fs::exists(fs::path(path).replace_extension(".apdu"));
        })) << card.name;
    }
}

}  // namespace
}  // namespace zebrik
