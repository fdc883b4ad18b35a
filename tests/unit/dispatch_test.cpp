#include "core/analysis/dispatch.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/cards/sim/usim_aid.h"
#include "support/card_bench.h"

namespace zebrik {
namespace {

using sim::CardDescription;
using sim::Hex;
using testing::CardBench;

constexpr const char* kMemoryBanner =
    "\r\nDie Chipkarte wird als Speicherkarte angesprochen...\r\n";

// A card with the ATR of a 2-wire memory card, under the given protocol, without files.
CardDescription MemoryAtrCard(std::uint32_t protocol) {
    CardDescription card;
    card.atr = Hex("3B 04 A2 13 10 91");
    card.protocol = protocol;
    return card;
}

struct BusCase {
    MemoryCardBus bus;
    const char* line;
};

class MemoryCardTest : public ::testing::TestWithParam<BusCase> {};

TEST_P(MemoryCardTest, WritesTheTwoMemoryCardLinesAndSendsNoCommand) {
    CardBench bench(MemoryAtrCard(kProtocolT0));

    DispatchCardFamily(bench.pane, bench.connection, kProtocolT0, GetParam().bus);

    EXPECT_EQ(bench.report.text, std::string(kMemoryBanner) + GetParam().line);
    EXPECT_TRUE(bench.card->CommandLog().empty());
    EXPECT_EQ(bench.TransmitCalls(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Buses, MemoryCardTest,
                         ::testing::Values(BusCase{MemoryCardBus::TwoWire,
                                                   "\r\nNatives Protokoll: S=10 (2-Wire Bus)\r\n"},
                                           BusCase{MemoryCardBus::I2C,
                                                   "\r\nNatives Protokoll: S=8 (I²C Bus)\r\n"},
                                           BusCase{MemoryCardBus::ThreeWire,
                                                   "\r\nNatives Protokoll: S=9 (3-Wire Bus)\r\n"}));

TEST(DispatchTest, AddressesAT1CardWithAMemoryCardAtrAsAZkaCard) {
    CardBench bench(MemoryAtrCard(kProtocolT1));

    DispatchCardFamily(bench.pane, bench.connection, kProtocolT1, MemoryCardBus::TwoWire);

    const std::string& text = bench.report.text;
    EXPECT_EQ(text.rfind("\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n", 0), 0u)
        << text;
    EXPECT_EQ(text.find("Speicherkarte"), std::string::npos);
    EXPECT_EQ(text.find("Natives Protokoll"), std::string::npos);
    EXPECT_FALSE(bench.card->CommandLog().empty());
}

TEST(DispatchTest, AddressesAT0CardWithoutMemoryBusAsSimThenUsim) {
    CardBench bench(MemoryAtrCard(kProtocolT0));

    DispatchCardFamily(bench.pane, bench.connection, kProtocolT0, MemoryCardBus::None);

    const std::string& text = bench.report.text;
    const std::size_t sim =
        text.find("\r\nDie Chipkarte wird als GSM-SIM-Karte angesprochen...\r\n");
    const std::size_t usim =
        text.find("\r\nDie Chipkarte wird als 3G-USIM-Karte angesprochen...\r\n");
    EXPECT_EQ(sim, 0u) << text;
    EXPECT_NE(usim, std::string::npos) << text;
    EXPECT_GT(usim, sim);
    EXPECT_EQ(text.find("Speicherkarte"), std::string::npos);
}

TEST(DispatchTest, WritesNothingForAProtocolOtherThanT0OrT1) {
    for (std::uint32_t protocol : {kProtocolUndefined, 3u, 4u, 0x10000u}) {
        CardBench bench(MemoryAtrCard(kProtocolT0));

        DispatchCardFamily(bench.pane, bench.connection, protocol, MemoryCardBus::TwoWire);
        DispatchCardFamily(bench.pane, bench.connection, protocol, MemoryCardBus::None);

        EXPECT_EQ(bench.report.text, "") << protocol;
        EXPECT_EQ(bench.TransmitCalls(), 0u) << protocol;
    }
}

// ---- ReportUsimAid ---------------------------------------------------------------------------

std::array<std::uint8_t, 16> Aid(const char* hex) {
    const sim::Bytes bytes = Hex(hex);
    std::array<std::uint8_t, 16> aid{};
    std::copy(bytes.begin(), bytes.end(), aid.begin());
    return aid;
}

std::string UsimAidReport(const std::array<std::uint8_t, 16>& aid) {
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    ReportUsimAid(pane, aid);
    return report.text;
}

TEST(ReportUsimAidTest, LeavesOutEveryNibbleFAndPrintsTheOtherFieldsInFull) {
    EXPECT_EQ(UsimAidReport(Aid("A0 00 00 00 87 10 02 FF 49 FF FF FF FF FF FF FF")),
              "\r\n3G-USIM-Applikation vorhanden...\r\n"
              "RID: A000000087\r\n"
              "Anwendungscode: 1002\r\n"
              "Ländercode: 49\r\n"
              "Kartenherausgeber: \r\n"
              "Industriecode: FF\r\n"
              "Spezifikationsversion: FF.FF.FF\r\n");
}

TEST(ReportUsimAidTest, PrintsTheVersionBytesWithoutLeadingZeroAndNotByte15) {
    EXPECT_EQ(UsimAidReport(Aid("A0 00 00 00 87 10 02 F4 9F 12 3F 05 01 02 0A 77")),
              "\r\n3G-USIM-Applikation vorhanden...\r\n"
              "RID: A000000087\r\n"
              "Anwendungscode: 1002\r\n"
              "Ländercode: 49\r\n"
              "Kartenherausgeber: 123\r\n"
              "Industriecode: 05\r\n"
              "Spezifikationsversion: 1.2.A\r\n");
}

struct DigitCase {
    std::uint8_t byte;
    const char* digits;
};

class UsimDigitTest : public ::testing::TestWithParam<DigitCase> {};

// Each byte in each of the four digit places: high nibble first, F left out.
TEST_P(UsimDigitTest, WritesTheNibblesOfAByteExceptF) {
    for (std::size_t place : {7u, 8u, 9u, 10u}) {
        std::array<std::uint8_t, 16> aid = Aid("A0 00 00 00 87 10 02 FF FF FF FF FF FF FF FF FF");
        aid[place] = GetParam().byte;
        const std::string digits = GetParam().digits;

        const std::string text = UsimAidReport(aid);

        const std::string country = "Ländercode: " + (place <= 8 ? digits : "") + "\r\n";
        const std::string issuer = "Kartenherausgeber: " + (place >= 9 ? digits : "") + "\r\n";
        EXPECT_NE(text.find(country), std::string::npos) << text;
        EXPECT_NE(text.find(issuer), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Nibbles, UsimDigitTest,
                         ::testing::Values(DigitCase{0x49, "49"}, DigitCase{0xF4, "4"},
                                           DigitCase{0x4F, "4"}, DigitCase{0x2A, "2A"},
                                           DigitCase{0xFF, ""}, DigitCase{0x00, "00"},
                                           DigitCase{0xEF, "E"}, DigitCase{0xFE, "E"}));

}  // namespace
}  // namespace zebrik
