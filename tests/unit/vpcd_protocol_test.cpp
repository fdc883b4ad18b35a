#include "kit/vpcd_protocol.h"

#include <gtest/gtest.h>

#include "support/card_kit.h"

// What zebrik-vpcd-card does with the vpcd reader's controls beyond what every end-to-end
// run goes through: power on and reset start the card over, power off does not.
namespace zebrik::vpcd {
namespace {

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
