#include "vpcd/vpcd_protocol.h"

#include <gtest/gtest.h>

#include "sim/card_file.h"

namespace zebrik::vpcd {
namespace {

sim::CardDescription BlankCard() {
    sim::CardDescription card;
    card.name = "test";
    card.atr = sim::Hex("3B 02 14 50");
    card.protocol = kProtocolT0;
    return card;
}

TEST(VpcdProtocol, TheAtrRequestIsAnsweredWithTheCardsAtr) {
    sim::SimCard card(BlankCard());
    const std::uint8_t getAtr[] = {4};
    EXPECT_EQ(Answer(card, getAtr), sim::Hex("3B 02 14 50"));
}

TEST(VpcdProtocol, PowerAndResetControlsGetNoAnswerAndSendNothingToTheCard) {
    sim::SimCard card(BlankCard());
    for (const std::uint8_t control : {0, 1, 2, 3, 0xFF}) {
        const std::uint8_t message[] = {control};
        EXPECT_FALSE(Answer(card, message).has_value()) << int(control);
    }
    EXPECT_TRUE(card.CommandLog().empty());
}

TEST(VpcdProtocol, AnEmptyMessageIsIgnored) {
    sim::SimCard card(BlankCard());
    EXPECT_FALSE(Answer(card, {}).has_value());
    EXPECT_TRUE(card.CommandLog().empty());
}

TEST(VpcdProtocol, LongerMessagesAreCommandApdusAnsweredByTheCard) {
    sim::SimCard card(BlankCard());
    const sim::Bytes select = sim::Hex("00 A4 00 0C 02 3F 00");
    const std::optional<sim::Bytes> answer = Answer(card, select);
    ASSERT_TRUE(answer.has_value());
    ASSERT_GE(answer->size(), 2u);
    ASSERT_EQ(card.CommandLog().size(), 1u);
    EXPECT_EQ(card.CommandLog()[0], select);
    // Even a two-byte message is a command, not a control.
    const std::uint8_t twoBytes[] = {1, 0};
    EXPECT_TRUE(Answer(card, twoBytes).has_value());
    EXPECT_EQ(card.CommandLog().size(), 2u);
}

sim::Bytes VerifyChv1(std::string_view pin) {
    sim::Bytes command = sim::Hex("A0 20 00 01 08");
    const sim::Bytes code = sim::ChvCode(pin);
    command.insert(command.end(), code.begin(), code.end());
    return command;
}

TEST(VpcdProtocol, PowerOnAndResetStartTheCardOverWhilePowerOffDoesNot) {
    std::optional<sim::CardDescription> description =
        sim::FindCard("sim-pin", ZEBRIK_TEST_CARD_DIR);
    if (!description) {
        GTEST_SKIP() << "no card with PIN query in the catalogue";
    }
    for (const std::uint8_t control : {1, 2}) {
        sim::SimCard card(*description);
        card.Process(VerifyChv1("1234"));
        ASSERT_TRUE(card.Chv1Verified());
        const std::uint8_t message[] = {control};
        Answer(card, message);
        EXPECT_FALSE(card.Chv1Verified()) << int(control);
    }
    sim::SimCard card(*description);
    card.Process(VerifyChv1("1234"));
    const std::uint8_t powerOff[] = {0};
    Answer(card, powerOff);
    EXPECT_TRUE(card.Chv1Verified());
}

TEST(VpcdProtocol, FramesCarryTheLengthBigEndian) {
    EXPECT_EQ(Frame(sim::Hex("90 00")), sim::Hex("00 02 90 00"));
    EXPECT_EQ(Frame({}), sim::Hex("00 00"));
    const sim::Bytes big(0x123, 0xAB);
    const std::optional<sim::Bytes> framed = Frame(big);
    ASSERT_TRUE(framed.has_value());
    EXPECT_EQ((*framed)[0], 0x01);
    EXPECT_EQ((*framed)[1], 0x23);
    EXPECT_EQ(framed->size(), 0x125u);
    EXPECT_EQ(PayloadLength(0x01, 0x23), 0x123u);
    EXPECT_EQ(PayloadLength(0xFF, 0xFF), 0xFFFFu);
}

TEST(VpcdProtocol, APayloadBeyondTheTwoByteLengthIsNotFramed) {
    EXPECT_TRUE(Frame(sim::Bytes(0xFFFF, 0)).has_value());
    EXPECT_FALSE(Frame(sim::Bytes(0x10000, 0)).has_value());
}

}  // namespace
}  // namespace zebrik::vpcd
