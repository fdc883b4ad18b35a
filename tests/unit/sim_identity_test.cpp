#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/cards/sim/sim.h"
#include "gsm_test_support.h"

namespace zebrik {
namespace {

using sim::Hex;
using testing::CatalogCard;
using testing::FileOf;
using testing::GsmSession;

// The everyday SIM with one transparent file replaced.
sim::CardDescription SimWithFile(std::uint16_t id, std::string_view content) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, id).content = Hex(content);
    return card;
}

// The everyday SIM whose READ BINARY answers only the status word.
sim::CardDescription SimWithEmptyAnswer(std::string_view readBinary) {
    sim::CardDescription card = CatalogCard("sim");
    card.scripted.push_back({Hex(readBinary), Hex("90 00")});
    return card;
}

struct DigitsCase {
    const char* name;
    const char* content;
    const char* digits;
};

std::string CaseName(const ::testing::TestParamInfo<DigitsCase>& info) {
    return info.param.name;
}

class IccidTest : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(IccidTest, PrintsSwappedNibblesWithoutFiller) {
    GsmSession session(SimWithFile(0x2FE2, GetParam().content));
    EXPECT_EQ(ReadSimIccid(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text,
              std::string("\r\nICCID der SIM-Karte: ") + GetParam().digits + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Contents, IccidTest,
    ::testing::Values(DigitsCase{"Everyday", "98 94 02 10 32 54 76 98 10 F2",
                                 "8949200123456789012"},
                      DigitsCase{"FillerInEitherNibble", "1F F1 FF 3A", "11A3"},
                      // The card proposes the shorter length and the read is repeated with it.
                      DigitsCase{"ShorterFile", "98 94 02", "894920"}),
    CaseName);

TEST(IccidTest, EmptyFileGivesTheBarePrefix) {
    GsmSession session(SimWithEmptyAnswer("A0 B0 00 00 0A"));
    EXPECT_EQ(ReadSimIccid(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, "\r\nICCID der SIM-Karte: \r\n");
}

TEST(IccidTest, SelectsTheFileDirectlyUnderTheMf) {
    GsmSession session(CatalogCard("sim"));
    ReadSimIccid(session.pane, session.card);
    EXPECT_EQ(session.CommandsWithIns(0xA4),
              (std::vector<std::string>{"A0 A4 00 00 02 3F 00", "A0 A4 00 00 02 2F E2"}));
    EXPECT_EQ(session.CommandsWithIns(0xB0), std::vector<std::string>{"A0 B0 00 00 0A"});
}

TEST(IccidTest, MissingFileIsReportedByTheExchangeAlone) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x2FE2).id = 0x2FE3;
    GsmSession session(std::move(card));
    EXPECT_EQ(ReadSimIccid(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, "\r\nDatei '2FE2' nicht vorhanden.\r\n");
}

TEST(IccidTest, CopiesAsMuchAsTheDestinationHolds) {
    GsmSession session(CatalogCard("sim"));
    std::array<std::uint8_t, 4> small{};
    ReadSimIccid(session.pane, session.card, small);
    EXPECT_EQ(small, (std::array<std::uint8_t, 4>{0x98, 0x94, 0x02, 0x10}));

    std::array<std::uint8_t, 12> large{};
    large.fill(0xEE);
    ReadSimIccid(session.pane, session.card, large);
    EXPECT_EQ(large, (std::array<std::uint8_t, 12>{0x98, 0x94, 0x02, 0x10, 0x32, 0x54, 0x76, 0x98,
                                                   0x10, 0xF2, 0xEE, 0xEE}));
}

class ImsiTest : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(ImsiTest, PrintsTheDigitsTheLengthByteCounts) {
    GsmSession session(SimWithFile(0x6F07, GetParam().content));
    EXPECT_EQ(ReadSimImsi(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, std::string("\r\nIMSI: ") + GetParam().digits + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ImsiTest,
    ::testing::Values(DigitsCase{"Everyday", "08 29 26 10 21 43 65 87 09", "262011234567890"},
                      DigitsCase{"ShortLengthIgnoresTheRest", "03 29 26 F0 11 22 33 44 55", "2620"},
                      DigitsCase{"Unused", "FF FF FF FF FF FF FF FF FF", ""},
                      DigitsCase{"LengthZero", "00 29 26 10 21 43 65 87 09", ""},
                      // The length claims 8 bytes, the card has 2 after it.
                      DigitsCase{"FileShorterThanItsLength", "08 29 26", "262"},
                      // Byte 1 did not come: the status word behind the data is no digit.
                      DigitsCase{"LengthByteOnly", "08", ""}),
    CaseName);

TEST(ImsiTest, CopiesTheRawFileWithItsLengthByte) {
    GsmSession session(CatalogCard("sim"));
    std::array<std::uint8_t, 9> imsi{};
    EXPECT_EQ(ReadSimImsi(session.pane, session.card, imsi), 1);
    EXPECT_EQ(imsi,
              (std::array<std::uint8_t, 9>{0x08, 0x29, 0x26, 0x10, 0x21, 0x43, 0x65, 0x87, 0x09}));
}

struct PhaseCase {
    const char* content;
    const char* text;
};

class PhaseTest : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(PhaseTest, NamesThePhase) {
    GsmSession session(SimWithFile(0x6FAE, GetParam().content));
    std::uint8_t phase = 0xEE;
    EXPECT_EQ(ReadGsmPhase(session.pane, session.card, &phase), 1);
    EXPECT_EQ(session.report.text, std::string("\r\nGSM-Phase: ") + GetParam().text + "\r\n");
    EXPECT_EQ(phase, Hex(GetParam().content).front());
}

INSTANTIATE_TEST_SUITE_P(Table, PhaseTest,
                         ::testing::Values(PhaseCase{"00", "1"}, PhaseCase{"01", "1"},
                                           PhaseCase{"02", "2"}, PhaseCase{"03", "2+"},
                                           PhaseCase{"04", "4"}, PhaseCase{"10", "10"},
                                           PhaseCase{"FF", "FF"}));

TEST(PhaseTest, EmptyFileShowsNoPhaseAndLeavesTheDestination) {
    GsmSession session(SimWithEmptyAnswer("A0 B0 00 00 01"));
    std::uint8_t phase = 0xEE;
    EXPECT_EQ(ReadGsmPhase(session.pane, session.card, &phase), 1);
    EXPECT_EQ(session.report.text, "\r\nGSM-Phase: \r\n");
    EXPECT_EQ(phase, 0xEE);
}

}  // namespace
}  // namespace zebrik
