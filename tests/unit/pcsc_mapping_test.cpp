#include "pcsc/pcsc_mapping.h"

#include <gtest/gtest.h>

#include <tuple>

namespace zebrik::pcsc {
namespace {

// Flag sets as pcsc-lite reports them for real cards, and every flag on its own.
TEST(PcscCardState, FlagsAndProtocolGiveTheCardStateOfTheReport) {
    constexpr std::uint32_t kPowered = kFlagPresent | kFlagPowered;
    const std::tuple<const char*, std::uint32_t, std::uint32_t, std::uint32_t> cases[] = {
        {"negotiated T=0, NEGOTIABLE still set", kPowered | kFlagNegotiable, kProtocolT0,
         kCardSpecific},
        {"negotiated T=1, NEGOTIABLE still set", kPowered | kFlagNegotiable, kProtocolT1,
         kCardSpecific},
        {"the active protocol wins even over ABSENT", kFlagAbsent, kProtocolT1, kCardSpecific},
        {"SPECIFIC without protocol", kPowered | kFlagSpecific, 0, kCardSpecific},
        {"powered, waiting for PTS", kPowered | kFlagNegotiable, 0, kCardNegotiable},
        {"powered, mode unknown", kPowered, 0, kCardPowered},
        {"in position, no power", kFlagPresent | kFlagSwallowed, 0, kCardSwallowed},
        {"not in position", kFlagPresent, 0, kCardPresent},
        {"no card", kFlagAbsent, 0, kCardAbsent},
        {"the highest flag wins", kFlagAbsent | kFlagSpecific, 0, kCardSpecific},
        {"no flag", 0, 0, kCardStateUnknown},
        {"pcsc-lite's UNKNOWN flag", kFlagUnknown, 0, kCardStateUnknown},
        {"raw is no negotiated T=0/T=1", kPowered | kFlagNegotiable, 4, kCardNegotiable},
        {"T=15 is no negotiated T=0/T=1", kPowered, 8, kCardPowered},
    };
    for (const auto& [what, flags, protocol, state] : cases) {
        EXPECT_EQ(CardStateFromStatus(flags, protocol), state) << what;
    }
}

TEST(PcscValues, SixtyFourBitDwordsKeepTheirMeaning) {
    // The event counter in the upper half of the event state is dropped, bits beyond 32 too.
    EXPECT_EQ(EventStateFlags(0x002A0000UL | kStatePresent | kStateInUse),
              kStatePresent | kStateInUse);
    EXPECT_EQ(EventStateFlags(0xFFFF0000UL), 0u);
    // (unsigned long has 64 bits on Linux; on Windows 32, where there is nothing beyond.)
    EXPECT_EQ(EventStateFlags(static_cast<unsigned long>(0xABCD00000000FFFFULL)), 0xFFFFu);
    // A reported length never exceeds the buffer.
    EXPECT_EQ(CappedLength(20, 33), 20u);
    EXPECT_EQ(CappedLength(33, 33), 33u);
    EXPECT_EQ(CappedLength(static_cast<unsigned long>(0xFFFFFFFFFFULL), 512), 512u);
    EXPECT_EQ(ToResultCode(0x8010001DL), kScardENoService);
    EXPECT_EQ(ToResultCode(0L), kScardSuccess);
}

}  // namespace
}  // namespace zebrik::pcsc
