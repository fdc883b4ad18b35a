#include "core/analysis/atr_decode.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "support/card_kit.h"

// The ATRs and reviewed blocks of tests/unit/data/atr_decode.txt (its head gives the form).
namespace zebrik {
namespace {

TEST(AtrDecodeTest, EveryAtrOfTheTableGivesItsReviewedBlock) {
    const std::string path = ZEBRIK_UNIT_DATA_DIR "/atr_decode.txt";
    std::istringstream table(testing::FileText(path));
    std::string rewritten, atrLine, clockLine, expected;
    int atrs = 0;
    const auto finishCase = [&] {
        if (atrLine.empty()) {
            return;
        }
        std::optional<std::uint32_t> clock;
        if (!clockLine.empty()) {
            clock = static_cast<std::uint32_t>(std::stoul(clockLine.substr(6)));
        }
        const std::string block = DescribeAtr(sim::Hex(atrLine.substr(3)), clock);
        EXPECT_TRUE(testing::Updating() || block == expected) << atrLine << "\n" << block;
        rewritten += atrLine + "\n" + (clockLine.empty() ? "" : clockLine + "\n");
        for (std::size_t at = 0, end = 0; at < block.size(); at = end + 2) {
            end = std::min(block.find("\r\n", at), block.size());
            rewritten += (end == at ? "|" : "| " + block.substr(at, end - at)) + "\n";
        }
        atrLine.clear();
        clockLine.clear();
        expected.clear();
        ++atrs;
    };
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with("CLOCK ") && !atrLine.empty()) {
            clockLine = line;
        } else if (line.starts_with("|") && !atrLine.empty()) {
            expected += line.substr(line.size() > 1 ? 2 : 1) + "\r\n";
        } else {
            finishCase();
            if (line.starts_with("ATR")) {
                atrLine = line;
            } else {
                rewritten += line + "\n";
            }
        }
    }
    finishCase();
    EXPECT_GE(atrs, 30);
    if (testing::Updating()) {
        std::ofstream(path, std::ios::binary) << rewritten;
    }
}

}  // namespace
}  // namespace zebrik
