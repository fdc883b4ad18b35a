#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/cards/sim/sim.h"
#include "core/report/pcsc_errors.h"
#include "gsm_test_support.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::CatalogCard;
using testing::FileOf;
using testing::GsmSession;
using testing::PinAnswer;

constexpr std::uint8_t kVerify = 0x20;
constexpr std::uint8_t kUnblock = 0x2C;

// A status of DF GSM (GSM 11.11 9.2.1), `length` bytes of it: file characteristics at
// byte 13, then CHV1, UNBLOCK CHV1, CHV2 and UNBLOCK CHV2 at bytes 18 to 21.
Bytes DfStatus(std::uint8_t characteristics, std::uint8_t chv1, std::uint8_t puk1,
               std::uint8_t chv2, std::uint8_t puk2, std::size_t length = 22,
               std::uint8_t gsmDataLength = 9) {
    Bytes status = Hex("00 00 10 00 7F 20 02 00 00 00 00 00 09 00 00 08 04 00 00 00 00 00");
    status[12] = gsmDataLength;
    status[13] = characteristics;
    status[18] = chv1;
    status[19] = puk1;
    status[20] = chv2;
    status[21] = puk2;
    status.resize(length);
    return status;
}

// A SIM with the PIN query on (PIN 1234) whose DF GSM answers with the given status.
sim::CardDescription SimWithStatus(Bytes status) {
    sim::CardDescription card = CatalogCard("sim-pin");
    FileOf(card.mf, 0x7F20).selectResponse = std::move(status);
    return card;
}

constexpr const char* kQueryOn = "\r\nPIN-Abfrage ist eingeschaltet\r\n";
constexpr const char* kQueryOff = "\r\nPIN-Abfrage ist ausgeschaltet\r\n";
constexpr const char* kCounters = "\r\nFehlbedienungszähler:\r\n";
constexpr const char* kPromptPin = "\r\nBitte PIN eingeben...\r\n";
constexpr const char* kPromptPuk = "\r\nBitte PUK eingeben...\r\n";

std::string Counter(const char* code, const char* attempts) {
    return std::string(code) + ": " + attempts + " Versuche verbleibend\r\n";
}

// ---- What the status says, where it opens no prompt ----

struct StatusCase {
    const char* name;
    Bytes status;
    std::string text;
};

class CardholderStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(CardholderStatusTest, ReportsTheStatusAndLetsTheRunGoOnWithoutAsking) {
    GsmSession session(SimWithStatus(GetParam().status), {{true, "1234", ""}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, GetParam().text);
    EXPECT_EQ(session.prompt.pinAsks + session.prompt.pukAsks, 0);
    EXPECT_TRUE(session.CommandsWithIns(kVerify).empty());
}

std::string CaseName(const ::testing::TestParamInfo<StatusCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, CardholderStatusTest,
    ::testing::Values(
        StatusCase{"QueryOffEvenWithPin1AtZero", DfStatus(0x83, 0x80, 0x8A, 0x83, 0x8A),
                   std::string(kQueryOff) + kCounters + Counter("PIN1", "00") +
                       Counter("PUK1", "10") + Counter("PIN2", "03") + Counter("PUK2", "10")},
        StatusCase{
            "Pin1NotInitialised", DfStatus(0x03, 0x03, 0x0A, 0x83, 0x8A),
            std::string(kQueryOn) + kCounters + Counter("PIN2", "03") + Counter("PUK2", "10")},
        StatusCase{
            "Pin2NotInitialised", DfStatus(0x83, 0x83, 0x8A, 0x03, 0x0A),
            std::string(kQueryOff) + kCounters + Counter("PIN1", "03") + Counter("PUK1", "10")},
        StatusCase{
            "Pin2LinesWhateverThePin1State", DfStatus(0x03, 0x00, 0x00, 0x82, 0x85),
            std::string(kQueryOn) + kCounters + Counter("PIN2", "02") + Counter("PUK2", "05")},
        StatusCase{"CountersUpToFifteen", DfStatus(0x83, 0x8F, 0xFF, 0x80, 0x81),
                   std::string(kQueryOff) + kCounters + Counter("PIN1", "15") +
                       Counter("PUK1", "15") + Counter("PIN2", "00") + Counter("PUK2", "01")},
        // 22 bytes received: the counters lie beyond them.
        StatusCase{"StatusOfTwentyBytes", DfStatus(0x03, 0x83, 0x8A, 0x83, 0x8A, 20), kQueryOn},
        StatusCase{"GsmDataTooShortForTheCounters", DfStatus(0x03, 0x83, 0x8A, 0x83, 0x8A, 22, 8),
                   kQueryOn},
        StatusCase{"StatusOfFourteenBytes", DfStatus(0x03, 0x83, 0x8A, 0x83, 0x8A, 14, 1),
                   kQueryOn},
        StatusCase{"StatusOfThirteenBytes", DfStatus(0x03, 0x83, 0x8A, 0x83, 0x8A, 13), ""},
        StatusCase{"NoGsmData", DfStatus(0x03, 0x83, 0x8A, 0x83, 0x8A, 22, 0), ""}),
    CaseName);

TEST(CardholderStatusTest, FailingSelectStopsTheSimPart) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x7F20).id = 0x7F21;
    GsmSession session(std::move(card));
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, "\r\nDatei '7F20' nicht vorhanden.\r\n");
}

// ---- The PIN path ----

const std::string kSimPinStatus = std::string(kQueryOn) + kCounters + Counter("PIN1", "03") +
                                  Counter("PUK1", "10") + Counter("PIN2", "03") +
                                  Counter("PUK2", "10");

TEST(CardholderPinTest, TypedPinIsVerifiedOnceAndOpensTheCard) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "1234", ""}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, kSimPinStatus + kPromptPin);
    EXPECT_EQ(session.CommandsWithIns(kVerify),
              std::vector<std::string>{"A0 20 00 01 08 31 32 33 34 FF FF FF FF"});
    EXPECT_EQ(session.report.selectionsDropped, 1);
    EXPECT_TRUE(session.simCard->Chv1Verified());
}

TEST(CardholderPinTest, EightCharactersFillTheField) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "87654321", ""}});
    CheckSimCardholder(session.pane, session.card);
    EXPECT_EQ(session.CommandsWithIns(kVerify),
              std::vector<std::string>{"A0 20 00 01 08 38 37 36 35 34 33 32 31"});
}

struct NothingTypedCase {
    const char* name;
    PinAnswer answer;
};

class NothingTypedTest : public ::testing::TestWithParam<NothingTypedCase> {};

TEST_P(NothingTypedTest, SendsNothingAndStopsTheSimPart) {
    GsmSession session(CatalogCard("sim-pin"), {GetParam().answer});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, kSimPinStatus + kPromptPin + "Abgebrochen\r\n");
    EXPECT_TRUE(session.CommandsWithIns(kVerify).empty());
    EXPECT_EQ(session.report.selectionsDropped, 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, NothingTypedTest,
                         ::testing::Values(NothingTypedCase{"Cancelled", {false, "1234", ""}},
                                           NothingTypedCase{"EmptyEntry", {true, "", ""}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CardholderPinTest, WrongPinIsReportedAndNotAskedForAgain) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "9999", ""}, {true, "1234", ""}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text,
              kSimPinStatus + kPromptPin + "Authentisierung fehlgeschlagen: '98 04'.\r\n");
    EXPECT_EQ(session.prompt.pinAsks, 1);
    EXPECT_EQ(session.prompt.pukAsks, 0);
    EXPECT_EQ(session.CommandsWithIns(kVerify).size(), 1u);
    EXPECT_EQ(session.simCard->Chv1().attempts, 2);
}

TEST(CardholderPinTest, PinBlockedByThisAttemptOpensNoPukPrompt) {
    sim::CardDescription card = CatalogCard("sim-pin");
    card.chv1.attempts = 1;
    GsmSession session(std::move(card), {{true, "9999", ""}, {true, "12345678", "1234"}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_NE(session.report.text.find("PIN1: 01 Versuche verbleibend\r\n"), std::string::npos);
    EXPECT_TRUE(session.report.text.ends_with("Authentisierung fehlgeschlagen: '98 40'.\r\n"));
    EXPECT_EQ(session.prompt.pukAsks, 0);
    EXPECT_TRUE(session.CommandsWithIns(kUnblock).empty());
}

struct AnswerCase {
    const char* name;
    const char* answer;  // the card's whole answer to VERIFY
    const char* line;
};

class VerifyAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(VerifyAnswerTest, OnlyNinetyZeroZeroOpensTheCard) {
    sim::CardDescription card = CatalogCard("sim-pin");
    card.scripted.push_back(
        {Hex("A0 20 00 01 08 31 32 33 34 FF FF FF FF"), Hex(GetParam().answer)});
    GsmSession session(std::move(card), {{true, "1234", ""}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, kSimPinStatus + kPromptPin + GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VerifyAnswerTest,
    ::testing::Values(
        AnswerCase{"NinetyZeroOne", "90 01", "Unerwartete Antwort der Chipkarte: '90 01'\r\n"},
        AnswerCase{"OtherRefusal", "98 08", "Authentisierung fehlgeschlagen: '98 08'.\r\n"},
        AnswerCase{"WrongLength", "67 08", "Unerwartete Antwort der Chipkarte: '67 08'\r\n"},
        AnswerCase{"OneByte", "90", "Unerwartete Antwort der Chipkarte: '00 00'\r\n"},
        AnswerCase{"NoByte", "", "Unerwartete Antwort der Chipkarte: '00 00'\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardholderPinTest, StatusWordIsTheLastTwoBytesReceived) {
    sim::CardDescription card = CatalogCard("sim-pin");
    card.scripted.push_back({Hex("A0 20 00 01 08 31 32 33 34 FF FF FF FF"), Hex("98 04 90 00")});
    GsmSession session(std::move(card), {{true, "1234", ""}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, kSimPinStatus + kPromptPin);
}

TEST(CardholderPinTest, ResourceManagerErrorOnVerifyIsReportedInWords) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "1234", ""}});
    // SELECT MF, GET RESPONSE, SELECT DF GSM, GET RESPONSE, then VERIFY.
    int transmits = 0;
    session.manager.fault = [&transmits](sim::Call call, std::size_t) -> ResultCode {
        return call == sim::Call::Transmit && ++transmits == 5 ? kScardWRemovedCard : kScardSuccess;
    };
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, kSimPinStatus + kPromptPin + PcscErrorText(kScardWRemovedCard));
}

// ---- The PUK path ----

const std::string kBlockedStatus = std::string(kQueryOn) + kCounters + Counter("PIN1", "00") +
                                   Counter("PUK1", "07") + Counter("PIN2", "03") +
                                   Counter("PUK2", "10");

TEST(CardholderPukTest, BlockedPin1IsUnblockedWithTheTypedPukAndNewPin) {
    GsmSession session(CatalogCard("sim-blocked"), {{true, "12345678", "4321"}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, kBlockedStatus + kPromptPuk);
    EXPECT_EQ(
        session.CommandsWithIns(kUnblock),
        std::vector<std::string>{"A0 2C 00 00 10 31 32 33 34 35 36 37 38 34 33 32 31 FF FF FF FF"});
    EXPECT_TRUE(session.CommandsWithIns(kVerify).empty());
    EXPECT_EQ(session.prompt.pinAsks, 0);
    EXPECT_EQ(session.report.selectionsDropped, 1);
    EXPECT_TRUE(session.simCard->Chv1Verified());
}

TEST(CardholderPukTest, WrongPukIsReportedAndNotAskedForAgain) {
    GsmSession session(CatalogCard("sim-blocked"),
                       {{true, "11111111", "4321"}, {true, "12345678", "4321"}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text,
              kBlockedStatus + kPromptPuk + "Authentisierung fehlgeschlagen: '98 04'.\r\n");
    EXPECT_EQ(session.prompt.pukAsks, 1);
    EXPECT_EQ(session.CommandsWithIns(kUnblock).size(), 1u);
    EXPECT_EQ(session.simCard->Chv1().unblockAttempts, 6);
}

struct PukNotTypedCase {
    const char* name;
    PinAnswer answer;
};

class PukNotTypedTest : public ::testing::TestWithParam<PukNotTypedCase> {};

TEST_P(PukNotTypedTest, SendsNothing) {
    GsmSession session(CatalogCard("sim-blocked"), {GetParam().answer});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, kBlockedStatus + kPromptPuk + "Abgebrochen\r\n");
    EXPECT_TRUE(session.CommandsWithIns(kUnblock).empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, PukNotTypedTest,
                         ::testing::Values(PukNotTypedCase{"Cancelled",
                                                           {false, "12345678", "4321"}},
                                           PukNotTypedCase{"NoPuk", {true, "", "4321"}},
                                           PukNotTypedCase{"NoNewPin", {true, "12345678", ""}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CardholderPukTest, Pin1AndPuk1UsedUpSendsNothingAndAsksNothing) {
    GsmSession session(CatalogCard("sim-dead"), {{true, "1234", ""}, {true, "12345678", "4321"}});
    EXPECT_EQ(CheckSimCardholder(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, std::string(kQueryOn) + kCounters + Counter("PIN1", "00") +
                                       Counter("PUK1", "00") + Counter("PIN2", "03") +
                                       Counter("PUK2", "10"));
    EXPECT_EQ(session.prompt.pinAsks + session.prompt.pukAsks, 0);
    EXPECT_EQ(session.Commands(),
              (std::vector<std::string>{"A0 A4 00 00 02 3F 00", "A0 C0 00 00 16",
                                        "A0 A4 00 00 02 7F 20", "A0 C0 00 00 16"}));
}

}  // namespace
}  // namespace zebrik
