#include "core/cards/sim/dialling_numbers.h"

#include <gtest/gtest.h>

#include <string>

#include "core/cards/sim/sim.h"
#include "gsm_test_support.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::CatalogCard;
using testing::FileOf;
using testing::GsmSession;

// ---- One record ----

// "Büro", length 06, TON/NPI 91, +4930123456, capability FF, extension FF (R = 28).
constexpr const char* kBuero =
    "42 7E 72 6F FF FF FF FF FF FF FF FF FF FF 06 91 94 03 21 43 65 FF FF FF FF FF FF FF";

struct RecordCase {
    const char* name;
    const char* record;
    unsigned recordLength;
    const char* line;
};

class DiallingRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DiallingRecordTest, ShowsNameAndNumberFromOffsetsOfTheRecordLength) {
    const RecordCase& c = GetParam();
    const Bytes record = Hex(c.record);
    EXPECT_EQ(DiallingNumberLine(1, 10, record, c.recordLength), std::string(c.line) + "\r\n");
}

std::string CaseName(const ::testing::TestParamInfo<RecordCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Records, DiallingRecordTest,
    ::testing::Values(
        RecordCase{"NameAndInternationalNumber", kBuero, 28, "[1/10] Büro: +4930123456"},
        RecordCase{"NationalNumberHasNoPlus",
                   "42 7E 72 6F FF FF FF FF FF FF FF FF FF FF 06 81 94 03 21 43 65 FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] Büro: 4930123456"},
        RecordCase{"ExtensionRecordAddsEllipsis",
                   "42 7E 72 6F FF FF FF FF FF FF FF FF FF FF 06 91 94 03 21 43 65 FF FF FF FF FF "
                   "FF 02",
                   28, "[1/10] Büro: +4930123456..."},
        RecordCase{"NumberWithoutName",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 06 91 94 03 21 43 65 FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] +4930123456"},
        RecordCase{"StarAndHash",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 04 81 BA 60 FB FF FF FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] *#06#"},
        RecordCase{"NibblesCToEPrintNothing",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 04 81 C1 2D E3 FF FF FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] 123"},
        RecordCase{"EmptyRecordGivesTheBareIndex",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] "},
        RecordCase{"NameWithoutNumber",
                   "42 7E 72 6F FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] Büro"},
        RecordCase{"FullNameFieldWithoutFf",
                   "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 03 81 21 F3 FF FF FF FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] ABCDEFGHIJKLMN: 123"},
        RecordCase{"LengthZeroPrintsNoDigits",
                   "4E FF FF FF FF FF FF FF FF FF FF FF FF FF 00 91 94 03 21 43 65 FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] N: +"},
        RecordCase{"LengthOnePrintsNoDigits",
                   "4E FF FF FF FF FF FF FF FF FF FF FF FF FF 01 91 94 03 21 43 65 FF FF FF FF FF "
                   "FF FF",
                   28, "[1/10] N: +"},
        RecordCase{"LengthElevenFillsTheField",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 0B 81 21 43 65 87 09 21 43 65 87 09 "
                   "FF FF",
                   28, "[1/10] 12345678901234567890"},
        // A length beyond the field stops at its ten bytes, before capability and extension.
        RecordCase{"LengthBeyondTheFieldStopsAtTenBytes",
                   "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 20 81 21 43 65 87 09 21 43 65 87 09 "
                   "55 FF",
                   28, "[1/10] 12345678901234567890"},
        // Without a name field byte 0 is the length byte: no ": " for a name that is not there.
        RecordCase{"NoNameField", "06 91 94 03 21 43 65 FF FF FF FF FF FF FF", 14,
                   "[1/10] +4930123456"},
        RecordCase{"LongerRecord",
                   "45 69 67 65 6E 65 20 4E 75 6D 6D 65 72 FF FF FF 07 91 94 71 16 32 54 76 FF FF "
                   "FF FF FF FF",
                   30, "[1/10] Eigene Nummer: +491761234567"},
        // What the card did not send counts as unused, wherever the record length points.
        RecordCase{"ShortAnswerEndsWhereTheDataEnds", "45 69 67 65 6E", 30, "[1/10] Eigen"}),
    CaseName);

// ---- Whole files ----

// The everyday SIM with the ADN's status replaced.
sim::CardDescription SimWithAdnStatus(std::string_view status) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6F3A).selectResponse = Hex(status);
    return card;
}

TEST(DiallingNumbersTest, ListsEveryRecordUnderItsTitle) {
    GsmSession session(CatalogCard("sim"));
    EXPECT_EQ(ReadFixedDiallingNumbers(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text,
              "\r\nFestrufnummern...\r\n"
              "[1/3] Zuhause: +4930987654\r\n"
              "[2/3] Notruf: 112\r\n"
              "[3/3] \r\n");
    EXPECT_EQ(
        session.Commands(),
        (std::vector<std::string>{"A0 A4 00 00 02 3F 00", "A0 C0 00 00 16", "A0 A4 00 00 02 7F 10",
                                  "A0 C0 00 00 16", "A0 A4 00 00 02 6F 3B", "A0 C0 00 00 0F",
                                  "A0 B2 01 04 1C", "A0 B2 02 04 1C", "A0 B2 03 04 1C"}));
}

struct TitleCase {
    int (*reader)(ReportAndPrompt&, const CardConnection&);
    const char* select;
    const char* title;
};

class DiallingReaderTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(DiallingReaderTest, EachReaderListsItsFileUnderItsTitle) {
    GsmSession session(CatalogCard("sim"));
    EXPECT_EQ(GetParam().reader(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text.rfind(std::string("\r\n") + GetParam().title + "\r\n[1/", 0), 0u);
    EXPECT_EQ(session.CommandsWithIns(0xA4).back(), GetParam().select);
}

INSTANTIATE_TEST_SUITE_P(Readers, DiallingReaderTest,
                         ::testing::Values(TitleCase{ReadAbbreviatedDiallingNumbers,
                                                     "A0 A4 00 00 02 6F 3A", "Kurzrufnummern..."},
                                           TitleCase{ReadFixedDiallingNumbers,
                                                     "A0 A4 00 00 02 6F 3B", "Festrufnummern..."},
                                           TitleCase{ReadOwnNumbers, "A0 A4 00 00 02 6F 40",
                                                     "Rufnummer der Mobilstation..."},
                                           TitleCase{ReadLastNumbersDialled, "A0 A4 00 00 02 6F 44",
                                                     "Zuletzt gewählte Rufnummer..."}));

TEST(DiallingNumbersTest, IgnoresTheRemainderOfAFileSize) {
    // 290 bytes of 28-byte records: 10 records and 10 bytes left over.
    GsmSession session(SimWithAdnStatus("00 00 01 22 6F 3A 04 00 11 00 44 01 02 01 1C"));
    EXPECT_EQ(ReadAbbreviatedDiallingNumbers(session.pane, session.card), 1);
    EXPECT_EQ(session.CommandsWithIns(0xB2).size(), 10u);
    EXPECT_NE(session.report.text.find("[1/10] Büro: +4930123456\r\n"), std::string::npos);
    EXPECT_NE(session.report.text.find("[10/10] Zentrale: +49691234567890123456...\r\n"),
              std::string::npos);
}

TEST(DiallingNumbersTest, FileSmallerThanOneRecordWritesOnlyTheTitle) {
    GsmSession session(SimWithAdnStatus("00 00 00 1B 6F 3A 04 00 11 00 44 01 02 01 1C"));
    EXPECT_EQ(ReadAbbreviatedDiallingNumbers(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, "\r\nKurzrufnummern...\r\n");
    EXPECT_TRUE(session.CommandsWithIns(0xB2).empty());
}

struct StatusCase {
    const char* name;
    const char* status;
};

class UnusableStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(UnusableStatusTest, SaysSoAndReadsNoRecord) {
    GsmSession session(SimWithAdnStatus(GetParam().status));
    EXPECT_EQ(ReadAbbreviatedDiallingNumbers(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, "\r\nKurzrufnummern...\r\nnicht ermittelbar\r\n");
    EXPECT_TRUE(session.CommandsWithIns(0xB2).empty());
}

std::string StatusName(const ::testing::TestParamInfo<StatusCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, UnusableStatusTest,
    ::testing::Values(
        StatusCase{"EndsBeforeTheRecordLength", "00 00 01 18 6F 3A 04 00 11 00 44 01 02 01"},
        StatusCase{"EmptyStatus", "00"},
        StatusCase{"RecordLengthZero", "00 00 01 18 6F 3A 04 00 11 00 44 01 02 01 00"},
        StatusCase{"ShorterThanTheFixedPart", "00 00 01 18 6F 3A 04 00 11 00 44 01 02 01 0D"}),
    StatusName);

TEST(DiallingNumbersTest, ReadsNoMoreRecordsThanOneByteCanName) {
    GsmSession session(CatalogCard("sim-bad-phonebooks"));
    EXPECT_EQ(ReadLastNumbersDialled(session.pane, session.card), 1);
    const auto reads = session.CommandsWithIns(0xB2);
    ASSERT_EQ(reads.size(), 255u);
    EXPECT_EQ(reads.back(), "A0 B2 FF 04 1C");
    EXPECT_NE(session.report.text.find("[255/300] +4930000255\r\n"), std::string::npos);
    EXPECT_EQ(session.report.text.find("[256/"), std::string::npos);
}

TEST(DiallingNumbersTest, FailingRecordEndsTheListingAfterTheRecordsBefore) {
    sim::CardDescription card = CatalogCard("sim");
    card.scripted.push_back({Hex("A0 B2 02 04 1C"), Hex("94 02")});
    GsmSession session(std::move(card));
    EXPECT_EQ(ReadFixedDiallingNumbers(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text,
              "\r\nFestrufnummern...\r\n"
              "[1/3] Zuhause: +4930987654\r\n"
              "\r\nAdressbereich überschritten.\r\n");
    EXPECT_EQ(session.CommandsWithIns(0xB2).size(), 2u);
}

TEST(DiallingNumbersTest, MissingDirectoryWritesNoTitle) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x7F10).id = 0x7F11;
    GsmSession session(std::move(card));
    EXPECT_EQ(ReadAbbreviatedDiallingNumbers(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, "\r\nDatei '7F10' nicht vorhanden.\r\n");
}

TEST(DiallingNumbersTest, MalformedRecordsOfTheKitAreShownWithinTheirFields) {
    GsmSession session(CatalogCard("sim-bad-records"));
    ReadAbbreviatedDiallingNumbers(session.pane, session.card);
    ReadFixedDiallingNumbers(session.pane, session.card);
    ReadOwnNumbers(session.pane, session.card);
    EXPECT_EQ(ReadLastNumbersDialled(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text,
              "\r\nKurzrufnummern...\r\n"
              "[1/5] Zu lang: +12121212121212121212\r\n"
              "[2/5] Null: +\r\n"
              "[3/5] Eins: +\r\n"
              "[4/5] Lücken: +9123456\r\n"
              "[5/5] A\u00A0BACDEFGHIJK: 110\r\n"
              "\r\nFestrufnummern...\r\n"
              "[1/2] +4930987654\r\n"
              "[2/2] \r\n"
              "\r\nRufnummer der Mobilstation...\r\n"
              "[1/2] Eigen\r\n"
              "[2/2] \r\n"
              "\r\nZuletzt gewählte Rufnummer...\r\n"
              "[1/3] Büro: +4930123456\r\n"
              "\r\nAdressbereich überschritten.\r\n");
}

TEST(DiallingNumbersTest, AsksForThePinWhenARecordNeedsItAndGoesOn) {
    sim::CardDescription card = CatalogCard("sim-pin");
    GsmSession session(std::move(card), {{true, "1234", ""}});
    EXPECT_EQ(ReadFixedDiallingNumbers(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text,
              "\r\nFestrufnummern...\r\n"
              "\r\nBitte PIN eingeben...\r\n"
              "[1/3] Zuhause: +4930987654\r\n"
              "[2/3] Notruf: 112\r\n"
              "[3/3] \r\n");
    EXPECT_EQ(session.prompt.pinAsks, 1);
}

}  // namespace
}  // namespace zebrik
