#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/cards/zka/zka.h"
#include "core/report/text.h"
#include "sim/sim_card.h"
#include "zka_sim_fixture.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::Occurrences;
using testing::Records;
using testing::SimCardSession;
using testing::T1Card;

const Bytes kReadRecordPrefix = Hex("00 B2");

sim::CardDescription PurseCard(std::vector<sim::SimFile> purseFiles) {
    return T1Card({sim::DedicatedFile(0xA200, std::move(purseFiles))});
}

// A load-log record whose status byte and load sequence number tell it apart.
Bytes LoadRecord(std::size_t n) {
    Bytes record =
        Hex("00 000C 00 002000 003182 000000 4912345678900001 000123 20120315 103000 0013");
    record[2] = static_cast<std::uint8_t>(n);
    return record;
}

Bytes PaymentRecord(std::size_t n) {
    Bytes record =
        Hex("40 0014 000C 001948 67123456780000000421 00000133 00000017 001234 20111224 121501");
    record[2] = static_cast<std::uint8_t>(n);
    return record;
}

struct PurseTypeCase {
    const char* typeByte;
    const char* text;
};

class PurseTypeTest : public ::testing::TestWithParam<PurseTypeCase> {};

TEST_P(PurseTypeTest, NamesTheTypeAndAlwaysShowsBankCodeAndAccount) {
    SimCardSession session(PurseCard({sim::RecordFile(
        0x0105, {Hex(std::string(GetParam().typeByte) + " 50012345 0001234567")})}));

    EXPECT_EQ(ReadPurseType(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text, std::string("\r\nKartentyp:\t\t") + GetParam().text +
                                       "Börsenkarten-BLZ:\t50012345\r\n"
                                       "Börsenkartenkonto:\t0001234567\r\n");
}

INSTANTIATE_TEST_SUITE_P(CardTypes, PurseTypeTest,
                         ::testing::Values(PurseTypeCase{"00", "kontobezogene Börsenkarte\r\n"},
                                           PurseTypeCase{"FF", "Wertkarte ohne Kontobezug\r\n"},
                                           PurseTypeCase{"01", "unbekannt\r\n"},
                                           PurseTypeCase{"80", "unbekannt\r\n"}));

TEST(PurseAmountsTest, PrintsFourDigitsCommaTwoDigitsWithLeadingZeros) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0104, {Hex("001234 02000A 020000")})}));

    EXPECT_EQ(ReadPurseAmounts(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\naktueller Betrag:\t0012,34\r\n"
              "maximaler Betrag:\t0200,0A\r\n"
              "max. Transaktion:\t0200,00\r\n");
}

TEST(PurseSequenceNumberTest, BothCountersPrintAsFourHexDigits) {
    SimCardSession session(PurseCard(
        {sim::RecordFile(0x0106, {Hex("00 0C 77")}), sim::RecordFile(0x0107, {Hex("01 2F")})}));

    EXPECT_EQ(ReadLoadSequenceNumber(session.pane, session.connection), 1);
    EXPECT_EQ(ReadPaymentSequenceNumber(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nSequenznummer (Laden/Entladen): 000C\r\n"
              "\r\nSequenznummer (Abbuchung/Rückbuchung): 012F\r\n");
    EXPECT_EQ(session.CountCommands(Hex("00 B2 01 04 02")), 2u);
}

TEST(PurseSequenceNumberTest, DestinationReceivesTheTwoBytes) {
    SimCardSession session(PurseCard(
        {sim::RecordFile(0x0106, {Hex("00 0C")}), sim::RecordFile(0x0107, {Hex("01 2F")})}));
    std::array<std::uint8_t, 3> load{0xAA, 0xAA, 0xAA};
    std::array<std::uint8_t, 1> payment{};

    ReadLoadSequenceNumber(session.pane, session.connection, load);
    ReadPaymentSequenceNumber(session.pane, session.connection, payment);

    EXPECT_EQ(load, (std::array<std::uint8_t, 3>{0x00, 0x0C, 0xAA}));
    EXPECT_EQ(payment, (std::array<std::uint8_t, 1>{0x01}));
}

TEST(LoadLogTest, RecordShowsItsFieldsInReportOrder) {
    SimCardSession session(PurseCard({sim::RecordFile(
        0x0108, {Hex("20 000B 01 000500 001182 999999 4912345678900001 00011F 20120315 "
                     "174512 0011")})}));

    EXPECT_EQ(ReadLoadLog(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nLade-/Entladetransaktion 1\r\n"
              "\r\nStatusbyte:\t\t20\r\n"
              "Kommando:\t\tEntladen\r\n"
              "Ladesequenznummer:\t000B\r\n"
              "Zahlungssequenznummer:\t0011\r\n"
              "Wiederholungszähler:\t01\r\n"
              "Ge-/Entladener Betrag:\t0005,00\r\n"
              "Aktueller Betrag:\t0011,82\r\n"
              "Datum der Transaktion:\t15.03.2012\r\n"
              "Zeit der Transaktion:\t17:45:12\r\n"
              "Terminal-ID:\t\t4912345678900001\r\n"
              "Terminal Trace-Nummer:\t00011F\r\n"
              "\r\nRecord Nummer 2 nicht vorhanden.\r\n");
}

TEST(LoadLogTest, ThreeRecordsAreListedAndNoFourthIsAskedFor) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0108, Records(5, LoadRecord))}));

    EXPECT_EQ(ReadLoadLog(session.pane, session.connection), 1);

    EXPECT_EQ(Occurrences(session.report.text, "Lade-/Entladetransaktion "), 3u);
    EXPECT_NE(session.report.text.find("Lade-/Entladetransaktion 3\r\n"), std::string::npos);
    EXPECT_EQ(session.CountCommands(kReadRecordPrefix), 3u);
    EXPECT_EQ(session.CountCommands(Hex("00 B2 04")), 0u);
}

TEST(LoadLogTest, FailedFirstRecordShowsNoBlockAndStillSucceeds) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0108, {})}));

    EXPECT_EQ(ReadLoadLog(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text, "\r\nRecord Nummer 1 nicht vorhanden.\r\n");
    EXPECT_EQ(session.CountCommands(kReadRecordPrefix), 1u);
}

TEST(LoadLogTest, RefusedSecondRecordEndsTheListWithItsLine) {
    sim::CardDescription card = PurseCard({sim::RecordFile(0x0108, Records(3, LoadRecord))});
    card.scripted.push_back({Hex("00 B2 02 04 00"), Hex("69 82")});
    SimCardSession session(std::move(card));

    EXPECT_EQ(ReadLoadLog(session.pane, session.connection), 1);

    EXPECT_EQ(Occurrences(session.report.text, "Lade-/Entladetransaktion "), 1u);
    EXPECT_TRUE(session.report.text.ends_with("\r\n\r\nZugriff verweigert.\r\n"));
    EXPECT_EQ(session.CountCommands(Hex("00 B2 03")), 0u);
}

struct KindCase {
    std::uint8_t status;
    const char* kind;
};

class TransactionKindTest : public ::testing::TestWithParam<KindCase> {};

// Only bits 6 and 5 of the status byte count, in the load log and the payment log alike.
TEST_P(TransactionKindTest, BitsSixAndFiveNameTheKind) {
    Bytes load = LoadRecord(1);
    load[0] = GetParam().status;
    Bytes payment = PaymentRecord(1);
    payment[0] = GetParam().status;
    SimCardSession session(PurseCard(
        {sim::RecordFile(0x0108, {load, load, load}), sim::RecordFile(0x0109, {payment})}));

    ReadLoadLog(session.pane, session.connection);
    ReadPaymentLog(session.pane, session.connection);

    EXPECT_EQ(
        Occurrences(session.report.text, std::string("Kommando:\t\t") + GetParam().kind + "\r\n"),
        4u);
    EXPECT_EQ(
        Occurrences(session.report.text, Format("Statusbyte:\t\t%02X\r\n", GetParam().status)), 4u);
}

INSTANTIATE_TEST_SUITE_P(StatusBytes, TransactionKindTest,
                         ::testing::Values(KindCase{0x00, "Laden"}, KindCase{0x9F, "Laden"},
                                           KindCase{0x20, "Entladen"}, KindCase{0xBF, "Entladen"},
                                           KindCase{0x40, "Abbuchen"}, KindCase{0x5F, "Abbuchen"},
                                           KindCase{0x60, "Rückbuchen"},
                                           KindCase{0xE0, "Rückbuchen"}));

TEST(PaymentLogTest, RecordShowsItsFieldsWithMerchantFieldsLast) {
    SimCardSession session(PurseCard({sim::RecordFile(
        0x0109, {Hex("60 0013 000B 000120 67555555550000001999 00000132 00000016 001182 "
                     "20111224 074433")})}));

    EXPECT_EQ(ReadPaymentLog(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nAbbuchungs-/Rückbuchungstransaktion 1\r\n"
              "\r\nStatusbyte:\t\t60\r\n"
              "Kommando:\t\tRückbuchen\r\n"
              "Zahlungssequenznummer:\t0013\r\n"
              "Ladesequenznummer:\t000B\r\n"
              "Gebuchter Betrag:\t0001,20\r\n"
              "Aktueller Betrag:\t0011,82\r\n"
              "Datum der Transaktion:\t24.12.2011\r\n"
              "Zeit der Transaktion:\t07:44:33\r\n"
              "Händlerkartennummer:\t67555555550000001999\r\n"
              "Händlersequenznummer:\t00000132\r\n"
              "Summensequenznummer:\t00000016\r\n"
              "\r\nRecord Nummer 2 nicht vorhanden.\r\n");
}

TEST(PaymentLogTest, FifteenRecordsAreListedAndNoSixteenthIsAskedFor) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0109, Records(16, PaymentRecord))}));

    EXPECT_EQ(ReadPaymentLog(session.pane, session.connection), 1);

    EXPECT_EQ(Occurrences(session.report.text, "Abbuchungs-/Rückbuchungstransaktion "), 15u);
    EXPECT_NE(session.report.text.find("Abbuchungs-/Rückbuchungstransaktion 15\r\n"),
              std::string::npos);
    EXPECT_EQ(session.CountCommands(kReadRecordPrefix), 15u);
    EXPECT_EQ(session.CountCommands(Hex("00 B2 10")), 0u);
}

TEST(PaymentLogTest, FailedFourthRecordLeavesThreeBlocksAndSucceeds) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0109, Records(3, PaymentRecord))}));

    EXPECT_EQ(ReadPaymentLog(session.pane, session.connection), 1);

    EXPECT_EQ(Occurrences(session.report.text, "Abbuchungs-/Rückbuchungstransaktion "), 3u);
    EXPECT_TRUE(session.report.text.ends_with(
        "Summensequenznummer:\t00000017\r\n\r\nRecord Nummer 4 nicht vorhanden.\r\n"));
    EXPECT_EQ(session.CountCommands(kReadRecordPrefix), 4u);
}

// A short record after a full one shows zeros where it ends, not the earlier record's data.
TEST(PaymentLogTest, ShortRecordShowsZerosNotThePreviousRecord) {
    SimCardSession session(
        PurseCard({sim::RecordFile(0x0109, {PaymentRecord(1), Hex("40 0015 000C 000250")})}));

    ReadPaymentLog(session.pane, session.connection);

    const std::string second =
        session.report.text.substr(session.report.text.find("transaktion 2\r\n"));
    EXPECT_EQ(second,
              "transaktion 2\r\n"
              "\r\nStatusbyte:\t\t40\r\n"
              "Kommando:\t\tAbbuchen\r\n"
              "Zahlungssequenznummer:\t0015\r\n"
              "Ladesequenznummer:\t000C\r\n"
              "Gebuchter Betrag:\t0002,50\r\n"
              "Aktueller Betrag:\t0000,00\r\n"
              "Datum der Transaktion:\t00.00.0000\r\n"
              "Zeit der Transaktion:\t00:00:00\r\n"
              "Händlerkartennummer:\t00000000000000000000\r\n"
              "Händlersequenznummer:\t00000000\r\n"
              "Summensequenznummer:\t00000000\r\n"
              "\r\nRecord Nummer 3 nicht vorhanden.\r\n");
}

// Each purse reader selects from the MF again, so each reports the missing DF itself.
TEST(PurseReadersTest, CardWithoutPurseGetsTheRefusalFromEveryReader) {
    SimCardSession session(T1Card({}));
    const std::string refusal = "\r\nDatei 'A200' nicht vorhanden.\r\n";

    EXPECT_EQ(ReadPurseType(session.pane, session.connection), 0);
    EXPECT_EQ(session.report.text, refusal);
    EXPECT_EQ(ReadPurseAmounts(session.pane, session.connection), 0);
    EXPECT_EQ(ReadLoadSequenceNumber(session.pane, session.connection), 0);
    EXPECT_EQ(ReadPaymentSequenceNumber(session.pane, session.connection), 0);
    EXPECT_EQ(ReadLoadLog(session.pane, session.connection), 0);
    EXPECT_EQ(ReadPaymentLog(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, refusal + refusal + refusal + refusal + refusal + refusal);
    EXPECT_EQ(session.CountCommands(Hex("00 A4 00 0C 02 3F 00")), 6u);
    EXPECT_EQ(session.CountCommands(Hex("00 A4 02")), 0u);
}

TEST(PurseReadersTest, EachReaderSelectsItsPathFromTheMf) {
    SimCardSession session(PurseCard({sim::RecordFile(0x0104, {Hex("001234 020000 020000")})}));

    ReadPurseAmounts(session.pane, session.connection);

    const std::vector<Bytes> expected = {Hex("00 A4 00 0C 02 3F 00"), Hex("00 A4 01 0C 02 A2 00"),
                                         Hex("00 A4 02 0C 02 01 04"), Hex("00 B2 01 04 00")};
    EXPECT_EQ(session.Commands(), expected);
}

}  // namespace
}  // namespace zebrik
