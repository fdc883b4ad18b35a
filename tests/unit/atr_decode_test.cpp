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
    std::string rendered, atrLine, clockLine;
    int atrs = 0;
    // The block goes after the ATR and its clock, before the next line that is neither.
    const auto renderBlock = [&] {
        if (!atrLine.empty()) {
            const auto clock = clockLine.empty()
                                   ? std::nullopt
                                   : std::optional<std::uint32_t>(std::stoul(clockLine.substr(6)));
            rendered += testing::Piped(DescribeAtr(sim::Hex(atrLine.substr(3)), clock));
            ++atrs;
        }
        atrLine.clear();
        clockLine.clear();
    };
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with("CLOCK ") && !atrLine.empty()) {
            clockLine = line;
        } else if (!line.starts_with("|") || atrLine.empty()) {
            renderBlock();
            atrLine = line.starts_with("ATR") ? line : "";
        } else {
            continue;  // a line of the expected block, rendered anew
        }
        rendered += line + "\n";
    }
    renderBlock();
    EXPECT_GE(atrs, 30);
    testing::ExpectTable(path, rendered);
}

}  // namespace
}  // namespace zebrik
