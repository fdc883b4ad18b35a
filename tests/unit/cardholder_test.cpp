#include "core/apdu/cardholder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/report/pcsc_errors.h"
#include "support/card_bench.h"

namespace zebrik {
namespace {

using sim::CardDescription;
using sim::Hex;
using testing::CardBench;
using testing::PinAnswer;

using Log = std::vector<std::string>;

constexpr const char* kReadImsi = "A0 B0 00 00 09";
constexpr const char* kImsi = "08 29 26 20 00 00 00 00 10";

// A GSM SIM with the PIN query switched on and EF IMSI (DF GSM 7F20) behind CHV1.
// PIN 4711, PUK 87654321.
CardDescription Sim(std::uint8_t attempts = 3, std::uint8_t unblockAttempts = 10) {
    CardDescription card;
    card.protocol = kProtocolT0;
    card.classes = {0xA0};
    card.chv1Enabled = true;
    card.chv1.code = sim::ChvCode("4711");
    card.chv1.attempts = attempts;
    card.chv1.unblockCode = sim::ChvCode("87654321");
    card.chv1.unblockAttempts = unblockAttempts;
    card.mf = sim::MasterFile({sim::DedicatedFile(
        0x7F20, {sim::TransparentFile(0x6F07, Hex(kImsi), sim::Access::Chv1)})});
    return card;
}

// The SIM with EF IMSI selected and the log cleared, ready for the read.
class SimBench : public CardBench {
public:
    explicit SimBench(CardDescription description, std::initializer_list<PinAnswer> answers)
        : CardBench(std::move(description)) {
        Transmit(Hex("A0 A4 00 00 02 7F 20"));
        Transmit(Hex("A0 A4 00 00 02 6F 07"));
        card->ClearLog();
        prompt.answers = answers;
    }
};

const std::string kPinPrompt = "\r\nBitte PIN eingeben...\r\n";
const std::string kPukPrompt = "\r\nBitte PUK eingeben...\r\n";

PinAnswer Pin(std::string pin) {
    return {true, std::move(pin), ""};
}
PinAnswer Puk(std::string puk, std::string newPin) {
    return {true, std::move(puk), std::move(newPin)};
}
PinAnswer Cancel() {
    return {};
}

struct VerifyBytesCase {
    const char* typed;
    const char* verify;
};

class VerifyBytesTest : public ::testing::TestWithParam<VerifyBytesCase> {};

TEST_P(VerifyBytesTest, SendsTheTypedCharactersPaddedWithFFThenRepeatsTheRead) {
    CardDescription description = Sim();
    description.chv1.code = sim::ChvCode(GetParam().typed);
    SimBench bench(std::move(description), {Pin(GetParam().typed)});

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 1);

    EXPECT_EQ(bench.Log(), (Log{kReadImsi, GetParam().verify, kReadImsi}));
    EXPECT_EQ(bench.Received(), std::string(kImsi) + " 90 00");
    EXPECT_EQ(bench.report.text, kPinPrompt);
}

INSTANTIATE_TEST_SUITE_P(
    Pins, VerifyBytesTest,
    ::testing::Values(VerifyBytesCase{"4711", "A0 20 00 01 08 34 37 31 31 FF FF FF FF"},
                      VerifyBytesCase{"12345678", "A0 20 00 01 08 31 32 33 34 35 36 37 38"},
                      VerifyBytesCase{"aB9", "A0 20 00 01 08 61 42 39 FF FF FF FF FF"}));

TEST(CardholderTest, SendsPukAndNewPinAsTwoChvFieldsAndRepeatsTheRead) {
    SimBench bench(Sim(0), {Puk("87654321", "2468")});

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 1);

    EXPECT_EQ(bench.Log(),
              (Log{kReadImsi, "A0 2C 00 00 10 38 37 36 35 34 33 32 31 32 34 36 38 FF FF FF FF",
                   kReadImsi}));
    EXPECT_EQ(bench.report.text, kPukPrompt);
    EXPECT_EQ(bench.card->Chv1().code, sim::ChvCode("2468"));
}

TEST(CardholderTest, SendsNothingWhenThePromptIsCancelled) {
    for (std::uint8_t attempts : {3, 0}) {
        SimBench bench(Sim(attempts), {Cancel()});

        EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 0);

        EXPECT_EQ(bench.Log(), Log{kReadImsi});
        EXPECT_EQ(bench.report.text, (attempts == 0 ? kPukPrompt : kPinPrompt) + "Abgebrochen\r\n");
        EXPECT_EQ(bench.report.selectionsDropped, 1);
    }
}

TEST(CardholderTest, ReportsAWrongPinAndDoesNotAskAgainInThatCall) {
    SimBench bench(Sim(), {Pin("1234"), Pin("4711")});

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 0);

    EXPECT_EQ(bench.report.text, kPinPrompt + "\r\nAuthentisierung fehlgeschlagen: '98 04'.\r\n");
    EXPECT_EQ(bench.prompt.pinAsks, 1);
    EXPECT_EQ(bench.prompt.pukAsks, 0);
    EXPECT_EQ(bench.Log().size(), 2u);
    EXPECT_EQ(bench.card->Chv1().attempts, 2);
}

TEST(CardholderTest, GoesStraightToThePukPromptWhenThePinIsBlockedOnThisAttempt) {
    SimBench bench(Sim(1), {Pin("1234"), Puk("87654321", "4711")});

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 1);

    EXPECT_EQ(bench.report.text, kPinPrompt + kPukPrompt);
    EXPECT_EQ(bench.Log(),
              (Log{kReadImsi, "A0 20 00 01 08 31 32 33 34 FF FF FF FF",
                   "A0 2C 00 00 10 38 37 36 35 34 33 32 31 34 37 31 31 FF FF FF FF", kReadImsi}));
    EXPECT_EQ(bench.report.selectionsDropped, 2);
}

TEST(CardholderTest, AsksForThePukOnlyOnceInOneCall) {
    struct Case {
        std::uint8_t attempts;
        std::uint8_t unblockAttempts;
        std::vector<PinAnswer> answers;
        std::string report;
    };
    const std::vector<Case> cases = {
        {0,
         10,
         {Puk("11111111", "4711"), Puk("87654321", "4711")},
         kPukPrompt + "\r\nAuthentisierung fehlgeschlagen: '98 04'.\r\n"},
        {0,
         1,
         {Puk("11111111", "4711"), Puk("87654321", "4711")},
         kPukPrompt + "\r\nAuthentisierung fehlgeschlagen: '98 40'.\r\n"},
        {1,
         10,
         {Pin("1234"), Puk("11111111", "4711"), Puk("87654321", "4711")},
         kPinPrompt + kPukPrompt + "\r\nAuthentisierung fehlgeschlagen: '98 04'.\r\n"},
    };
    for (const Case& c : cases) {
        SimBench bench(Sim(c.attempts, c.unblockAttempts), {});
        bench.prompt.answers.assign(c.answers.begin(), c.answers.end());

        EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 0);

        EXPECT_EQ(bench.report.text, c.report);
        EXPECT_EQ(bench.prompt.pukAsks, 1);
    }
}

TEST(CardholderTest, PromptsAgainWhenTheRepeatedCommandIsRefusedAgain) {
    // The card refuses the read twice whatever the verification: as a card would whose
    // file needs a second code.
    CardDescription description = Sim();
    description.scripted.push_back({Hex(kReadImsi), Hex("98 04"), 2});
    SimBench bench(std::move(description), {Pin("4711"), Pin("4711")});
    const char* verify = "A0 20 00 01 08 34 37 31 31 FF FF FF FF";

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 1);

    EXPECT_EQ(bench.prompt.pinAsks, 2);
    EXPECT_EQ(bench.Log(), (Log{kReadImsi, verify, kReadImsi, verify, kReadImsi}));
    EXPECT_EQ(bench.report.text, kPinPrompt + kPinPrompt);
}

// Remembers how many selections had been dropped when each prompt opened.
class WatchingPrompt : public testing::ScriptedPinPrompt {
public:
    explicit WatchingPrompt(const testing::StringReport& report) : report_(report) {}
    bool AskPin(PinEntryBuffer& buffer) override {
        droppedBefore.push_back(report_.selectionsDropped);
        return ScriptedPinPrompt::AskPin(buffer);
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        droppedBefore.push_back(report_.selectionsDropped);
        return ScriptedPinPrompt::AskPukAndNewPin(buffer);
    }
    std::vector<int> droppedBefore;

private:
    const testing::StringReport& report_;
};

TEST(CardholderTest, DropsTheSelectionAfterEachPrompt) {
    SimBench bench(Sim(1), {});
    WatchingPrompt prompt(bench.report);
    prompt.answers = {Pin("1234"), Puk("87654321", "4711")};
    ReportAndPrompt pane{bench.report, prompt};
    ApduResponse response;

    EXPECT_EQ(SendCommand(pane, bench.connection, SendPci::T0, Hex(kReadImsi), response), 1);

    EXPECT_EQ(prompt.droppedBefore, (std::vector<int>{0, 1}));
    EXPECT_EQ(bench.report.selectionsDropped, 2);
}

TEST(CardholderTest, NeverWritesTheTypedValuesIntoTheReport) {
    SimBench bench(Sim(1), {Pin("13572468"), Puk("87654321", "97531")});

    bench.Transmit(Hex(kReadImsi));
    bench.Transmit(Hex(kReadImsi));

    EXPECT_EQ(bench.report.text.find("1357"), std::string::npos);
    EXPECT_EQ(bench.report.text.find("8765"), std::string::npos);
    EXPECT_EQ(bench.report.text.find("9753"), std::string::npos);
    EXPECT_EQ(bench.report.text, kPinPrompt + kPukPrompt);
}

TEST(CardholderTest, StopsWithTheErrorTextWhenVerifyCannotBeSent) {
    SimBench bench(Sim(), {Pin("4711")});
    const std::size_t verifyCall = bench.manager.Calls().size() + 1;
    bench.manager.fault = [verifyCall](sim::Call, std::size_t index) {
        return index == verifyCall ? kScardWRemovedCard : kScardSuccess;
    };

    EXPECT_EQ(bench.Transmit(Hex(kReadImsi)), 0);

    EXPECT_EQ(bench.report.text, kPinPrompt + PcscErrorText(kScardWRemovedCard));
    EXPECT_EQ(bench.TransmitCalls(), 2u + 4u);  // four for the two SELECTs of the bench
    EXPECT_EQ(bench.card->Chv1().attempts, 3);
}

TEST(CardholderTest, SendsVerifyInClassA0WhateverTheRefusedCommandsClass) {
    CardDescription description = Sim();
    description.classes = {0x00, 0xA0};
    description.scripted.push_back({Hex("00 B0 00 00 09"), Hex("98 04"), 1});
    description.scripted.push_back(
        {Hex("00 B0 00 00 09"), Hex("01 02 03 04 05 06 07 08 09 90 00")});
    SimBench bench(std::move(description), {Pin("4711")});

    EXPECT_EQ(bench.Transmit(Hex("00 B0 00 00 09")), 1);

    EXPECT_EQ(bench.Log()[1], "A0 20 00 01 08 34 37 31 31 FF FF FF FF");
}

// The prompts guarantee at most 8 characters; should a longer text ever arrive, only its
// first 8 characters are sent.
TEST(ChvCommandTest, TakesAtMostEightCharactersFromAnUnterminatedBuffer) {
    PinEntryBuffer pin;
    pin.pin = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    PinUnblockBuffer unblock;
    for (std::size_t i = 0; i < unblock.bytes.size(); ++i) {
        unblock.bytes[i] = static_cast<char>('A' + i);
    }

    const auto verify = BuildVerifyChv1(pin);
    const auto unblockCommand = BuildUnblockChv1(unblock);

    EXPECT_EQ(testing::SpacedHex(sim::Bytes(verify.begin(), verify.end())),
              "A0 20 00 01 08 31 32 33 34 35 36 37 38");
    EXPECT_EQ(testing::SpacedHex(sim::Bytes(unblockCommand.begin(), unblockCommand.end())),
              "A0 2C 00 00 10 41 42 43 44 45 46 47 48 4A 4B 4C 4D 4E 4F 50 51");
}

}  // namespace
}  // namespace zebrik
