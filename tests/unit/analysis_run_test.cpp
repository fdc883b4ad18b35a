// The analysis run's own edge cases (data/analysis_run.txt), among them the inputs of past
// fuzz findings, under the rule watch.
#include "core/analysis/analysis_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/fakes.h"

namespace zebrik {
namespace {

// Text with \0, \xHH and {N*c} for N times c.
std::string Unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            const std::size_t star = text.find('*', i);
            bytes.append(std::stoul(text.substr(i + 1, star - i - 1)), text[star + 1]);
            i = text.find('}', i);
        } else if (text[i] == '\\' && text[i + 1] == 'x') {
            bytes += static_cast<char>(std::stoul(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (text[i] == '\\') {
            ++i;
            bytes += text[i] == '0' ? '\0' : text[i];
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

testing::Chunk Answer(const std::string& line) {
    const std::size_t colon = std::min(line.find(" : "), line.size());
    testing::Chunk chunk{colon < line.size() ? Unescape(line.substr(colon + 3)) : ""};
    std::istringstream fields(line.substr(1, colon - 1));
    for (std::string field; fields >> field;) {
        const auto number = std::stoul(field.substr(field.find('=') + 1), nullptr, 0);
        if (field.starts_with("fail=")) {
            chunk.code = number;
        } else if (field.starts_with("claim=")) {
            chunk.claimed = number;
        } else {
            chunk.values.push_back(number);
        }
    }
    return chunk;
}

TEST(AnalysisRunTest, ScriptedCasesGiveTheirReports) {
    std::ifstream file(ZEBRIK_UNIT_DATA_DIR "/analysis_run.txt");
    std::string script, expected;
    int cases = 0;
    for (std::string line; std::getline(file, line) || !script.empty();) {
        if (line.starts_with(">")) {
            testing::Write(script, Answer(line));
        } else if (line.starts_with("|")) {
            expected += Unescape(line.substr(std::min<std::size_t>(line.size(), 2))) + "\r\n";
        } else if (line.empty() && !script.empty()) {
            testing::Script answers(script);
            testing::ScriptedResourceManager manager(answers);
            testing::ScriptedPinPrompt prompt;
            testing::RuleWatch watch(manager, prompt);
            ReportAndPrompt pane{watch, watch};
            RunAnalysis(pane, watch);
            watch.Finish();
            EXPECT_EQ(watch.text, expected) << "case " << cases;
            EXPECT_EQ(watch.broken, "") << "case " << cases;
            script.clear();
            expected.clear();
            ++cases;
        }
        line.clear();
    }
    EXPECT_GT(cases, 20);
}

}  // namespace
}  // namespace zebrik
