#include "core/analysis/atr_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// The table of ATRs and their blocks is tests/unit/data/atr_decode.txt, reviewed by eye:
//   ATR 3B 02 14 50     the ATR as hex bytes (nothing after "ATR": the empty ATR)
//   CLOCK 4000          optional: the reader's default clock in kHz
//   | TS: 3B (...)      the expected block, one "| " line per "\r\n" line
// Other lines (comments, blank lines) are kept. ZEBRIK_UPDATE=1 writes the blocks the
// decoder gives now into the file, for review with git diff.
namespace zebrik {
namespace {

struct AtrCase {
    std::string before;  // the comment and blank lines above the case
    std::string atrLine;
    std::string clockLine;
    std::string expected;
};

std::vector<AtrCase> ReadCases(std::istream& in, std::string& trailer) {
    std::vector<AtrCase> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("ATR")) {
            cases.push_back({trailer, line, "", ""});
            trailer.clear();
        } else if (line.starts_with("CLOCK ") && !cases.empty()) {
            cases.back().clockLine = line;
        } else if (line.starts_with("|") && !cases.empty()) {
            cases.back().expected += line.substr(line.size() > 1 ? 2 : 1) + "\r\n";
        } else {
            trailer += line + "\n";
        }
    }
    return cases;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in(hex);
    for (unsigned value = 0; in >> std::hex >> value;) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

std::string AsTableLines(const std::string& block) {
    std::string lines;
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t end = block.find("\r\n", at);
        const std::string line = block.substr(at, end - at);
        lines += (line.empty() ? "|" : "| " + line) + "\n";
        at = end == std::string::npos ? block.size() : end + 2;
    }
    return lines;
}

TEST(AtrDecodeTest, EveryAtrOfTheTableGivesItsReviewedBlock) {
    const std::string path = ZEBRIK_UNIT_DATA_DIR "/atr_decode.txt";
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    std::string trailer;
    const std::vector<AtrCase> cases = ReadCases(file, trailer);
    ASSERT_GE(cases.size(), 30u);
    const char* update = std::getenv("ZEBRIK_UPDATE");
    const bool updating = update != nullptr && std::string(update) == "1";

    std::string rewritten;
    for (const AtrCase& atrCase : cases) {
        std::optional<std::uint32_t> clock;
        if (!atrCase.clockLine.empty()) {
            clock = static_cast<std::uint32_t>(std::stoul(atrCase.clockLine.substr(6)));
        }
        const std::string block = DescribeAtr(Bytes(atrCase.atrLine.substr(3)), clock);
        if (!updating) {
            EXPECT_EQ(block, atrCase.expected) << atrCase.atrLine;
        }
        rewritten += atrCase.before + atrCase.atrLine + "\n" +
                     (atrCase.clockLine.empty() ? "" : atrCase.clockLine + "\n") +
                     AsTableLines(block);
    }
    if (updating) {
        std::ofstream(path, std::ios::binary) << rewritten + trailer;
    }
}

}  // namespace
}  // namespace zebrik
