#include "core/report/pcsc_errors.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

// How a failed resource-manager call is worded; the German texts of the table show in the
// expected reports.
namespace zebrik {
namespace {

// A platform with texts for chosen codes.
struct FixedMessages : PlatformMessages {
    std::optional<std::string> Lookup(ResultCode code) const override {
        const auto found = texts.find(code);
        return found == texts.end() ? std::nullopt : std::optional(found->second);
    }
    std::map<ResultCode, std::string> texts;
};

TEST(PcscErrorTextTest, ACodeWithoutTextIsItsNumberInEightDigits) {
    EXPECT_EQ(PcscErrorText(0), "Fehler 0x00000000\r\n");
    EXPECT_EQ(PcscErrorText(0x0000ABCD), "Fehler 0x0000ABCD\r\n");
    EXPECT_EQ(PcscErrorText(0xFFFFFFFF), "Fehler 0xFFFFFFFF\r\n");
    // All 32 bits must match a row: a table code in the high word alone is none.
    EXPECT_EQ(PcscErrorText(0x0016002E), "Fehler 0x0016002E\r\n");
    EXPECT_NE(PcscErrorText(0x8010002E), "Fehler 0x8010002E\r\n");
}

TEST(PcscErrorTextTest, ThePlatformsTextComesFirstUnlessEmptyAndIsCutToWholeCharacters) {
    const std::string fits = std::string(257, 'w') + "\u00E4";  // 259 bytes
    FixedMessages platform;
    platform.texts = {{0x8010002E, "No readers (platform)\n"},
                      {0x8010001D, ""},
                      {1, std::string(300, 'x')},
                      {2, std::string(258, 'y') + "\u00E4z"},
                      {3, fits}};
    EXPECT_EQ(PcscErrorText(0x8010002E, platform), "No readers (platform)\n");
    EXPECT_EQ(PcscErrorText(0x8010001D, platform), PcscErrorText(0x8010001D));
    EXPECT_EQ(PcscErrorText(0x8010006A, platform), "Fehler 0x8010006A\r\n");
    EXPECT_EQ(PcscErrorText(1, platform), std::string(259, 'x'));
    EXPECT_EQ(PcscErrorText(2, platform), std::string(258, 'y'));
    EXPECT_EQ(PcscErrorText(3, platform), fits);
}

}  // namespace
}  // namespace zebrik
