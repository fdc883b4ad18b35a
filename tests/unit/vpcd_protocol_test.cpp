#include "vpcd/vpcd_protocol.h"

#include <gtest/gtest.h>

#include "support/card_kit.h"

// What zebrik-vpcd-card answers the vpcd reader: a message of one byte is a control, a
// longer one a command APDU; every message is framed with a big-endian length of 2 bytes.
namespace zebrik::vpcd {
namespace {

TEST(VpcdProtocol, ControlsAndCommands) {
    sim::SimCard card(testing::Card("atr-known"));
    EXPECT_EQ(Answer(card, std::vector<std::uint8_t>{4}), sim::Hex("3B 02 14 50"));  // ATR
    for (const std::uint8_t control : {0, 1, 2, 3, 0xFF}) {
        EXPECT_FALSE(Answer(card, std::vector<std::uint8_t>{control})) << int(control);
    }
    EXPECT_FALSE(Answer(card, {}));
    EXPECT_TRUE(card.CommandLog().empty());
    // Two bytes are a command already.
    EXPECT_EQ(Answer(card, sim::Hex("01 00")), sim::Hex("67 00"));
    EXPECT_EQ(card.CommandLog(), std::vector<sim::Bytes>{sim::Hex("01 00")});
}

TEST(VpcdProtocol, PowerOnAndResetStartTheCardOverPowerOffDoesNot) {
    const sim::Bytes verify = sim::Hex("A0 20 00 01 08 31 32 33 34 FF FF FF FF");
    for (const std::uint8_t control : {0, 1, 2}) {
        sim::SimCard card(testing::Card("sim-pin"));
        card.Process(verify);
        ASSERT_TRUE(card.Chv1Verified());
        Answer(card, std::vector<std::uint8_t>{control});
        EXPECT_EQ(card.Chv1Verified(), control == 0) << int(control);
    }
}

}  // namespace
}  // namespace zebrik::vpcd
