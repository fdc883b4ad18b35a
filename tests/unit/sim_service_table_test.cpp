#include <gtest/gtest.h>

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

sim::CardDescription SimWithTable(std::string_view phase, std::string_view table) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6FAE).content = Hex(phase);
    FileOf(card.mf, 0x6F38).content = Hex(table);
    return card;
}

constexpr const char* kHeading = "\r\nSIM-Dienste:\r\n";

struct TableCase {
    const char* name;
    const char* phase;
    const char* table;      // EF SST as the card holds it
    const char* readTable;  // the READ BINARY that asks for it
    const char* lines;
    std::uint32_t first;
    std::uint32_t second;
};

class ServiceTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(ServiceTableTest, ReadsAsMuchAsThePhaseKnowsAndNamesTheServices) {
    const TableCase& c = GetParam();
    GsmSession session(SimWithTable(c.phase, c.table));
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    EXPECT_EQ(ReadSimServiceTable(session.pane, session.card, &first, &second), 1);
    const auto reads = session.CommandsWithIns(0xB0);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0], "A0 B0 00 00 01");  // the phase
    EXPECT_EQ(reads[1], c.readTable);
    EXPECT_EQ(session.report.text, std::string(kHeading) + c.lines);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
}

std::string CaseName(const ::testing::TestParamInfo<TableCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Phases, ServiceTableTest,
    ::testing::Values(
        TableCase{"Phase1", "00", "0F 00 FF FF", "A0 B0 00 00 02",
                  "PIN-Deaktivierung unterstützt und aktiviert\r\n"
                  "Kurzrufnummern unterstützt und aktiviert\r\n"
                  "Festrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Kurznachrichten nicht unterstützt und deaktiviert\r\n",
                  15, 0},
        TableCase{"PhaseByte01", "01", "0F 00 FF FF", "A0 B0 00 00 02",
                  "PIN-Deaktivierung unterstützt und aktiviert\r\n"
                  "Kurzrufnummern unterstützt und aktiviert\r\n"
                  "Festrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Kurznachrichten nicht unterstützt und deaktiviert\r\n",
                  15, 0},
        TableCase{"Phase2", "02", "FF 3F 03 03 03", "A0 B0 00 00 04",
                  "PIN-Deaktivierung unterstützt und aktiviert\r\n"
                  "Kurzrufnummern unterstützt und aktiviert\r\n"
                  "Festrufnummern unterstützt und aktiviert\r\n"
                  "Kurznachrichten unterstützt und aktiviert\r\n"
                  "Nummern der Mobilstation unterstützt und aktiviert\r\n"
                  "Zuletzt gewählte Nummer unterstützt und aktiviert\r\n",
                  0x03033FFF, 0},
        TableCase{"Phase2Plus", "03", "FF FF 03 03 03 00", "A0 B0 00 00 05",
                  "PIN-Deaktivierung unterstützt und aktiviert\r\n"
                  "Kurzrufnummern unterstützt und aktiviert\r\n"
                  "Festrufnummern unterstützt und aktiviert\r\n"
                  "Kurznachrichten unterstützt und aktiviert\r\n"
                  "Nummern der Mobilstation unterstützt und aktiviert\r\n"
                  "Zuletzt gewählte Nummer unterstützt und aktiviert\r\n"
                  "Name des Diensteanbieters unterstützt und aktiviert\r\n",
                  0x0303FFFF, 0x03},
        TableCase{"LaterPhase", "07", "00 00 02 01 01", "A0 B0 00 00 05",
                  "PIN-Deaktivierung nicht unterstützt und deaktiviert\r\n"
                  "Kurzrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Festrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Kurznachrichten nicht unterstützt und deaktiviert\r\n"
                  "Nummern der Mobilstation nicht unterstützt und aktiviert\r\n"
                  "Zuletzt gewählte Nummer unterstützt und deaktiviert\r\n"
                  "Name des Diensteanbieters unterstützt und deaktiviert\r\n",
                  0x01020000, 0x01},
        // Allocated and activated are told apart: both halves of a line are independent.
        TableCase{"AllocatedOnly", "00", "04 00", "A0 B0 00 00 02",
                  "PIN-Deaktivierung nicht unterstützt und deaktiviert\r\n"
                  "Kurzrufnummern unterstützt und deaktiviert\r\n"
                  "Festrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Kurznachrichten nicht unterstützt und deaktiviert\r\n",
                  0x04, 0},
        TableCase{"ActivatedOnly", "00", "08 00", "A0 B0 00 00 02",
                  "PIN-Deaktivierung nicht unterstützt und deaktiviert\r\n"
                  "Kurzrufnummern nicht unterstützt und aktiviert\r\n"
                  "Festrufnummern nicht unterstützt und deaktiviert\r\n"
                  "Kurznachrichten nicht unterstützt und deaktiviert\r\n",
                  0x08, 0}),
    CaseName);

TEST(ServiceTableTest, BytesTheCardDidNotSendCountAsZero) {
    // Phase 2+ asks for 5 bytes; the card has 3 and the read is repeated with that length.
    GsmSession session(SimWithTable("03", "FF FF 03"));
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    EXPECT_EQ(ReadSimServiceTable(session.pane, session.card, &first, &second), 1);
    EXPECT_EQ(session.CommandsWithIns(0xB0).back(), "A0 B0 00 00 03");
    EXPECT_EQ(session.report.text,
              std::string(kHeading) +
                  "PIN-Deaktivierung unterstützt und aktiviert\r\n"
                  "Kurzrufnummern unterstützt und aktiviert\r\n"
                  "Festrufnummern unterstützt und aktiviert\r\n"
                  "Kurznachrichten unterstützt und aktiviert\r\n"
                  "Nummern der Mobilstation unterstützt und aktiviert\r\n"
                  "Zuletzt gewählte Nummer nicht unterstützt und deaktiviert\r\n");
    EXPECT_EQ(first, 0x0003FFFFu);
    EXPECT_EQ(second, 0u);
}

TEST(ServiceTableTest, FailingPhaseReadWritesNothingAndKeepsTheWords) {
    sim::CardDescription card = CatalogCard("sim");
    card.scripted.push_back({Hex("A0 B0 00 00 01"), Hex("94 00")});
    GsmSession session(std::move(card));
    std::uint32_t first = 0x11111111;
    std::uint32_t second = 0x22222222;
    EXPECT_EQ(ReadSimServiceTable(session.pane, session.card, &first, &second), 0);
    EXPECT_EQ(session.report.text.find("SIM-Dienste"), std::string::npos);
    EXPECT_EQ(first, 0x11111111u);
    EXPECT_EQ(second, 0x22222222u);
}

TEST(ServiceTableTest, FailingTableReadWritesOnlyTheExchangesLine) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6F38).id = 0x6F39;
    GsmSession session(std::move(card));
    std::uint32_t first = 0;
    EXPECT_EQ(ReadSimServiceTable(session.pane, session.card, &first, nullptr), 0);
    EXPECT_EQ(session.report.text, "\r\nDatei '6F38' nicht vorhanden.\r\n");
    EXPECT_EQ(first, 0u);
}

}  // namespace
}  // namespace zebrik
