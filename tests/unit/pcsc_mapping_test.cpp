#include "pcsc/pcsc_mapping.h"

#include <gtest/gtest.h>

#include <array>

namespace zebrik::pcsc {
namespace {

struct StatusCase {
    const char* what;
    std::uint32_t flags;
    std::uint32_t protocol;
    std::uint32_t state;
};

// Flag sets as pcsc-lite reports them for real cards, and every flag on its own.
constexpr std::array<StatusCase, 14> kStatusCases = {{
    {"negotiated T=0 card, NEGOTIABLE still set", kFlagPresent | kFlagPowered | kFlagNegotiable,
     kProtocolT0, kCardSpecific},
    {"negotiated T=1 card, NEGOTIABLE still set", kFlagPresent | kFlagPowered | kFlagNegotiable,
     kProtocolT1, kCardSpecific},
    {"active protocol wins even over ABSENT", kFlagAbsent, kProtocolT1, kCardSpecific},
    {"SPECIFIC without protocol", kFlagPresent | kFlagPowered | kFlagSpecific, 0, kCardSpecific},
    {"powered card waiting for PTS", kFlagPresent | kFlagPowered | kFlagNegotiable, 0,
     kCardNegotiable},
    {"powered card of unknown mode", kFlagPresent | kFlagPowered, 0, kCardPowered},
    {"positioned card without power", kFlagPresent | kFlagSwallowed, 0, kCardSwallowed},
    {"card not in position", kFlagPresent, 0, kCardPresent},
    {"no card", kFlagAbsent, 0, kCardAbsent},
    {"highest flag wins over lower ones", kFlagAbsent | kFlagSpecific, 0, kCardSpecific},
    {"no flag at all", 0, 0, kCardStateUnknown},
    {"only pcsc-lite's UNKNOWN flag", kFlagUnknown, 0, kCardStateUnknown},
    {"raw protocol is no negotiated T=0/T=1", kFlagPresent | kFlagPowered | kFlagNegotiable, 4,
     kCardNegotiable},
    {"T=15 is no negotiated T=0/T=1", kFlagPresent | kFlagPowered, 8, kCardPowered},
}};

TEST(PcscCardState, FlagsAndProtocolGiveTheCardStateOfTheReport) {
    for (const StatusCase& c : kStatusCases) {
        EXPECT_EQ(CardStateFromStatus(c.flags, c.protocol), c.state) << c.what;
    }
}

TEST(PcscCardState, NoFlagGivesAStateOutsideTheSixNamedOnes) {
    const std::uint32_t state = CardStateFromStatus(0, kProtocolUndefined);
    EXPECT_TRUE(state < kCardAbsent || state > kCardSpecific);
}

TEST(PcscEventState, TheEventCounterInTheUpperHalfIsDropped) {
    constexpr unsigned long kCounter = 0x002A0000UL;
    EXPECT_EQ(EventStateFlags(kCounter | kStatePresent | kStateInUse), kStatePresent | kStateInUse);
    EXPECT_EQ(EventStateFlags(0xFFFF0000UL), 0u);
    EXPECT_EQ(EventStateFlags(0x0000FFFFUL), 0xFFFFu);
    // A 64-bit DWORD with bits beyond 32 set still yields only the flags.
    EXPECT_EQ(EventStateFlags(0xABCD00000000FFFFUL), 0xFFFFu);
}

TEST(PcscLengths, AReportedLengthNeverExceedsTheBuffer) {
    EXPECT_EQ(CappedLength(20, 33), 20u);
    EXPECT_EQ(CappedLength(33, 33), 33u);
    EXPECT_EQ(CappedLength(36, 33), 33u);
    EXPECT_EQ(CappedLength(0xFFFFFFFFFFUL, 512), 512u);
}

TEST(PcscResultCodes, SixtyFourBitResultsKeepTheirThirtyTwoBitCode) {
    EXPECT_EQ(ToResultCode(0x8010001DL), kScardENoService);
    EXPECT_EQ(ToResultCode(0x80100011L), kScardEInvalidValue);
    EXPECT_EQ(ToResultCode(0L), kScardSuccess);
}

}  // namespace
}  // namespace zebrik::pcsc
