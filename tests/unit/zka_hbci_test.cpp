#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/cards/zka/oem_text.h"
#include "core/cards/zka/zka.h"
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

sim::CardDescription HbciCard(std::vector<sim::SimFile> files) {
    return T1Card({sim::DedicatedFile(0xA600, std::move(files))});
}

Bytes Padded(std::string_view text, std::size_t length, std::uint8_t pad = 0x20) {
    Bytes field(text.begin(), text.end());
    field.resize(length, pad);
    return field;
}

// An 88-byte bank connection record.
Bytes BankConnection(std::string_view name, std::string_view bankCode, std::uint8_t service,
                     std::string_view address, std::string_view suffix = "",
                     std::string_view country = "280", std::string_view user = "KD4711") {
    Bytes record = Padded(name, 20);
    for (std::uint8_t byte : Hex(bankCode)) {
        record.push_back(byte);
    }
    record.push_back(service);
    for (const Bytes& part :
         {Padded(address, 28), Padded(suffix, 2), Padded(country, 3), Padded(user, 30)}) {
        record.insert(record.end(), part.begin(), part.end());
    }
    return record;
}

Bytes NumberedConnection(std::size_t n) {
    return BankConnection("Bank " + std::to_string(n), "50 01 23 45", 0x02, "hbci.example.de");
}

struct OemCase {
    std::uint8_t byte;
    const char* utf8;
};

class OemTextTest : public ::testing::TestWithParam<OemCase> {};

TEST_P(OemTextTest, ConvertsCodePage850ToUnicode) {
    const std::array<std::uint8_t, 1> field = {GetParam().byte};
    EXPECT_EQ(Cp850ToUtf8(field), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage850, OemTextTest,
    ::testing::Values(OemCase{0x41, "A"}, OemCase{0x20, " "}, OemCase{0x7E, "~"},
                      OemCase{0x80, "Ç"}, OemCase{0x81, "ü"}, OemCase{0x84, "ä"},
                      OemCase{0x8E, "Ä"}, OemCase{0x94, "ö"}, OemCase{0x99, "Ö"},
                      OemCase{0x9A, "Ü"}, OemCase{0xE1, "ß"}, OemCase{0x9C, "£"},
                      OemCase{0x9F, "ƒ"}, OemCase{0xB3, "│"}, OemCase{0xC4, "─"},
                      OemCase{0xD5, "ı"}, OemCase{0xEE, "¯"}, OemCase{0xF0, "\u00AD"},
                      OemCase{0xF2, "‗"}, OemCase{0xFE, "■"}, OemCase{0xFF, "\u00A0"}));

TEST(OemTextTest, NulEndsTheFieldAndTrailingBlanksStay) {
    const Bytes withNul = {'M', 0x81, 'n', 0x00, 'X', 'Y'};
    const Bytes withBlanks = {'A', 'B', ' ', ' '};
    EXPECT_EQ(Cp850ToUtf8(withNul), "Mün");
    EXPECT_EQ(Cp850ToUtf8(withBlanks), "AB  ");
    EXPECT_EQ(Cp850ToUtf8({}), "");
}

TEST(BankConnectionsTest, RecordShowsEveryFieldConverted) {
    SimCardSession session(HbciCard(
        {sim::RecordFile(0x0301, Records(5, [](std::size_t) {
                             return BankConnection("Musterbank F\x81rth", "50 01 23 45", 0x02,
                                                   "hbci.musterbank.de", "", "280", "KD0001234567");
                         }))}));

    EXPECT_EQ(ReadBankConnections(session.pane, session.connection), 1);

    const std::string block =
        "\r\nKreditinstitut:\t\tMusterbank Fürth    \r\n"
        "Kreditinstitutscode:\t50012345\r\n"
        "Kommunikationsdienst:\tTCP/IP\r\n"
        "Kommunikationsadresse:\thbci.musterbank.de         \r\n"
        "Länderkennzeichen:\t280\r\n"
        "Benutzerkennung:\tKD0001234567                  \r\n";
    std::string expected;
    for (int n = 1; n <= 5; ++n) {
        expected += "\r\nBankverbindung " + std::to_string(n) + "\r\n" + block;
    }
    EXPECT_EQ(session.report.text, expected);
}

TEST(BankConnectionsTest, FiveRecordsAreListedAndNoSixthIsAskedFor) {
    SimCardSession session(HbciCard({sim::RecordFile(0x0301, Records(6, NumberedConnection))}));

    EXPECT_EQ(ReadBankConnections(session.pane, session.connection), 1);

    EXPECT_EQ(Occurrences(session.report.text, "\r\nBankverbindung "), 5u);
    EXPECT_EQ(session.CountCommands(Hex("00 B2")), 5u);
    EXPECT_EQ(session.CountCommands(Hex("00 B2 06")), 0u);
}

// Unlike the logs, a bank connection that cannot be read makes the reader fail.
TEST(BankConnectionsTest, TwoRecordsThenTheRefusalAndFailure) {
    SimCardSession session(HbciCard({sim::RecordFile(0x0301, Records(2, NumberedConnection))}));

    EXPECT_EQ(ReadBankConnections(session.pane, session.connection), 0);

    EXPECT_EQ(Occurrences(session.report.text, "\r\nBankverbindung "), 2u);
    EXPECT_TRUE(
        session.report.text.ends_with("Benutzerkennung:\tKD4711                        \r\n"
                                      "\r\nRecord Nummer 3 nicht vorhanden.\r\n"));
    EXPECT_EQ(session.CountCommands(Hex("00 B2 04")), 0u);
}

struct ServiceCase {
    std::uint8_t service;
    const char* text;
    bool suffixLine;
};

class CommunicationServiceTest : public ::testing::TestWithParam<ServiceCase> {};

TEST_P(CommunicationServiceTest, ServiceByteNamesTheServiceAndOnlyZeroAddsTheSuffix) {
    const Bytes record = BankConnection("Bank", "50 01 23 45", GetParam().service, "addr", "01");
    SimCardSession session(HbciCard({sim::RecordFile(0x0301, {record})}));

    ReadBankConnections(session.pane, session.connection);

    const std::string suffix = GetParam().suffixLine ? "Adressenzusatz:\t\t01\r\n" : "";
    const std::string expected = std::string("Kommunikationsdienst:\t") + GetParam().text +
                                 "Kommunikationsadresse:\taddr" + std::string(23, ' ') + "\r\n" +
                                 suffix + "Länderkennzeichen:\t280\r\n";
    EXPECT_NE(session.report.text.find(expected), std::string::npos) << session.report.text;
}

INSTANTIATE_TEST_SUITE_P(
    ServiceBytes, CommunicationServiceTest,
    ::testing::Values(ServiceCase{0x00, "benutzerdefiniert\r\n", true},
                      ServiceCase{0x01, "T-Online\r\n", false},
                      ServiceCase{0x02, "TCP/IP\r\n", false}, ServiceCase{0x03, "HTTPS\r\n", false},
                      ServiceCase{0x20, "\r\n", false},
                      ServiceCase{0x31, "benutzerdefiniert\r\n", false},
                      ServiceCase{0x32, "TCP/IP\r\n", false}, ServiceCase{0x33, "HTTPS\r\n", false},
                      ServiceCase{0x34, "SMTP\r\n", false}, ServiceCase{0x35, "HTTP\r\n", false},
                      ServiceCase{0x36, "SOAP mit HTTP-Bindung\r\n", false},
                      ServiceCase{0x37, "benutzerdefiniert\r\n", false},
                      ServiceCase{0xFF, "benutzerdefiniert\r\n", false}));

struct BankCodeCase {
    const char* bytes;
    const char* line;
};

class BankCodeTest : public ::testing::TestWithParam<BankCodeCase> {};

TEST_P(BankCodeTest, FourBlanksLeaveTheCodeEmpty) {
    SimCardSession session(HbciCard(
        {sim::RecordFile(0x0301, {BankConnection("Bank", GetParam().bytes, 0x02, "addr")})}));

    ReadBankConnections(session.pane, session.connection);

    EXPECT_NE(session.report.text.find(std::string("\r\n") + GetParam().line + "\r\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, BankCodeTest,
    ::testing::Values(BankCodeCase{"20 20 20 20", "Kreditinstitutscode:\t"},
                      BankCodeCase{"20 20 20 21", "Kreditinstitutscode:\t20202021"},
                      BankCodeCase{"00 00 00 00", "Kreditinstitutscode:\t00000000"}));

// The address runs 28 bytes up to the suffix; the report shows 27 of them.
TEST(BankConnectionsTest, AddressShowsTwentySevenCharactersFromByteTwentyFive) {
    SimCardSession session(HbciCard({sim::RecordFile(
        0x0301, {BankConnection("Bank", "50 01 23 45", 0x03, "https://fints.example.de/abc")})}));

    ReadBankConnections(session.pane, session.connection);

    EXPECT_NE(session.report.text.find("Kommunikationsadresse:\thttps://fints.example.de/ab\r\n"),
              std::string::npos);
}

TEST(BankConnectionsTest, NameOfTwentyCharactersIsWholeAndNulEndsAShorterOne) {
    const Bytes whole = BankConnection("Volksbank M\x81nster eG", "50 01 23 45", 0x02, "a");
    Bytes ended = whole;
    ended[9] = 0x00;
    SimCardSession session(HbciCard({sim::RecordFile(0x0301, {whole, ended})}));

    ReadBankConnections(session.pane, session.connection);

    EXPECT_NE(session.report.text.find("Kreditinstitut:\t\tVolksbank Münster eG\r\n"),
              std::string::npos);
    EXPECT_NE(session.report.text.find("Kreditinstitut:\t\tVolksbank\r\n"), std::string::npos);
}

// A record of 30 bytes: the fields beyond it are empty, not the previous record's text.
TEST(BankConnectionsTest, ShortRecordShowsNothingOfThePreviousRecord) {
    const Bytes full =
        BankConnection("Erste Bank", "50 01 23 45", 0x00, "hbci.erste.de", "01", "280", "ERSTER");
    Bytes shortRecord = BankConnection("Zweite", "11 22 33 44", 0x02, "zw.de");
    shortRecord.resize(30);
    SimCardSession session(HbciCard({sim::RecordFile(0x0301, {full, shortRecord})}));

    ReadBankConnections(session.pane, session.connection);

    const std::string second =
        session.report.text.substr(session.report.text.find("\r\nBankverbindung 2\r\n"));
    EXPECT_EQ(second,
              "\r\nBankverbindung 2\r\n"
              "\r\nKreditinstitut:\t\tZweite              \r\n"
              "Kreditinstitutscode:\t11223344\r\n"
              "Kommunikationsdienst:\tTCP/IP\r\n"
              "Kommunikationsadresse:\tzw.de\r\n"
              "Länderkennzeichen:\t\r\n"
              "Benutzerkennung:\t\r\n"
              "\r\nRecord Nummer 3 nicht vorhanden.\r\n");
}

TEST(HbciCountersTest, SequenceNumberIsHexAndPinCounterDecimalSecondByteFirst) {
    SimCardSession session(HbciCard(
        {sim::RecordFile(0x0303, {Hex("00 2A")}), sim::RecordFile(0x0016, {Hex("0A 03")})}));

    EXPECT_EQ(ReadHbciSequenceNumber(session.pane, session.connection), 1);
    EXPECT_EQ(ReadFintsPinCounter(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nSequenznummer: 002A\r\n"
              "\r\nFehlbedienungszähler der FinTS-PIN: 3/10\r\n");
}

struct CounterCase {
    const char* bytes;
    const char* shown;
};

class FintsPinCounterTest : public ::testing::TestWithParam<CounterCase> {};

TEST_P(FintsPinCounterTest, ShowsSecondByteSlashFirstByteInDecimal) {
    SimCardSession session(HbciCard({sim::RecordFile(0x0016, {Hex(GetParam().bytes)})}));

    ReadFintsPinCounter(session.pane, session.connection);

    EXPECT_EQ(session.report.text,
              std::string("\r\nFehlbedienungszähler der FinTS-PIN: ") + GetParam().shown + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Counters, FintsPinCounterTest,
                         ::testing::Values(CounterCase{"03 02", "2/3"},
                                           CounterCase{"0A 0A", "10/10"},
                                           CounterCase{"03 00", "0/3"},
                                           CounterCase{"FF 80", "128/255"},
                                           CounterCase{"03", "0/3"}));

TEST(HbciCountersTest, CardWithoutHbciGetsTheRefusalFromEachReader) {
    SimCardSession session(T1Card({}));
    const std::string refusal = "\r\nDatei 'A600' nicht vorhanden.\r\n";

    EXPECT_EQ(ReadBankConnections(session.pane, session.connection), 0);
    EXPECT_EQ(ReadHbciSequenceNumber(session.pane, session.connection), 0);
    EXPECT_EQ(ReadFintsPinCounter(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, refusal + refusal + refusal);
}

TEST(HbciCountersTest, DestinationsReceiveTheTwoBytes) {
    SimCardSession session(HbciCard(
        {sim::RecordFile(0x0303, {Hex("00 2A")}), sim::RecordFile(0x0016, {Hex("03 02")})}));
    std::array<std::uint8_t, 2> sequence{};
    std::array<std::uint8_t, 4> counter{0xAA, 0xAA, 0xAA, 0xAA};

    ReadHbciSequenceNumber(session.pane, session.connection, sequence);
    ReadFintsPinCounter(session.pane, session.connection, counter);

    EXPECT_EQ(sequence, (std::array<std::uint8_t, 2>{0x00, 0x2A}));
    EXPECT_EQ(counter, (std::array<std::uint8_t, 4>{0x03, 0x02, 0xAA, 0xAA}));
}

}  // namespace
}  // namespace zebrik
