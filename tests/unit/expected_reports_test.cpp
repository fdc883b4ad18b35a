#include <gtest/gtest.h>

#include <algorithm>
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
// the two readers vpcd shows ("Zebrik vpcd 00 00" with CARD, "Zebrik vpcd 00 01" empty, no
// attributes); tests/unit/data/reports: cases no card behind pcscd can give, and the report
// of zebrik-report --demo. ZEBRIK_UPDATE=1 writes report and commands from the run.
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

// What the terminal prompt hands over of the answers of a .input ("PROMPT => ANSWER"): a
// PIN, or a PUK and the new PIN the last repetition matched. An empty answer, <EOF> or no
// .input cancels.
testing::ScriptedPinPrompt TypedAnswers(const fs::path& input) {
    testing::ScriptedPinPrompt typed;
    std::istringstream lines(fs::exists(input) ? testing::FileText(input) : "");
    for (std::string line; std::getline(lines, line);) {
        const std::size_t arrow = line.find(" =>");
        std::string answer;
        std::istringstream(line.substr(arrow == line.npos ? line.size() : arrow + 3)) >> answer;
        if (line.starts_with("PIN-Code:") || line.starts_with("PUK:")) {
            typed.answers.push_back({!answer.empty() && answer != "<EOF>", answer, ""});
        } else if (line.starts_with("PIN wiederholen:") && !typed.answers.empty()) {
            typed.answers.back().newPin = answer;
        }
    }
    return typed;
}

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
    testing::ScriptedPinPrompt typed =
        TypedAnswers(fs::path(GetParam()).replace_extension(".input"));
    ReportAndPrompt reportAndPrompt{pane, typed};

    // A CARD[@VARIANT].args gives zebrik-report options; of them only --atr changes the run.
    const fs::path args = fs::path(GetParam()).replace_extension(".args");
    AnalysisOptions options;
    options.decodeAtr =
        fs::exists(args) && testing::FileText(args).find("--atr") != std::string::npos;
    EXPECT_EQ(RunAnalysis(reportAndPrompt, manager, options), kScardSuccess);
    EXPECT_TRUE(typed.answers.empty()) << "a prompt of the .input never came";

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

}  // namespace
}  // namespace zebrik
