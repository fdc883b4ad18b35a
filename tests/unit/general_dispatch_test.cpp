#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/analysis/dispatch.h"
#include "general_test_support.h"
#include "sim/card_file.h"
#include "sim/catalog.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::GeneralCardSession;

sim::CardDescription CatalogCard(const char* name) {
    auto card = sim::FindCard(name, ZEBRIK_TEST_CARD_DIR);
    EXPECT_TRUE(card.has_value()) << name;
    return card ? *card : sim::CardDescription{};
}

constexpr const char* kNoZkaCard =
    "\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n"
    "\r\nDatei '0003' nicht vorhanden.\r\n"
    "\r\nEs werden allgemeine Dateien ausgelesen...\r\n";

TEST(GeneralDispatchTest, HealthCardReportIsComplete) {
    GeneralCardSession session(CatalogCard("egk"));

    DispatchCardFamily(session.pane, session.card, kProtocolT1, MemoryCardBus::None);

    EXPECT_EQ(session.report.text,
              std::string(kNoZkaCard) +
                  "\r\nSeriennummer: 80276001023456789012\r\n"
                  "\r\nAnwendungen der Chipkarte...\r\n"
                  "\r\nAnwendung 1\r\nAID: D27600000102\r\nLabel: Gesundheitsanwendung\r\n"
                  "\r\nAnwendung 2\r\nAID: A000000167455349474E\r\nLabel: ESIGN\r\n"
                  "\r\nAnwendung 3\r\nAID: D27600006601\r\nLabel: QES\r\n"
                  "\r\nRecord Nummer 4 nicht vorhanden.\r\n"
                  "\r\nDie Chipkarte wird als eGK angesprochen...\r\n"
                  "\r\nVersion der Chipkarte...\r\n"
                  "Elektrische Schnittstelle: 3.0.2\r\n"
                  "Anwendungsspezifische Strukturen: 3.0.1\r\n"
                  "Speicherstrukturen: 4.0.0\r\n"
                  "Reserviert: 12.3.A\r\n"
                  "\r\nTransaktionsstatus der Versichertenstammdaten...\r\n"
                  "Status: 0 (keine Transaktionen offen)\r\n"
                  "Letzte Aktualisierung: 23.09.2011 14:25:01\r\n"
                  "Version der VSD-Struktur: 5.0.1\r\n"
                  "Reserviert: 0000000000\r\n"
                  "\r\nStatus der Praxis-PIN:\r\n"
                  "Echt-PIN, Fehlbedienungszähler: 3 Versuche verbleibend\r\n"
                  "\r\nStatus der Privat-PIN:\r\n"
                  "Transport-PIN (Zufallszahl)\r\n");
    EXPECT_EQ(session.prompt.pinAsks, 0);
}

TEST(GeneralDispatchTest, DeactivatedHealthApplicationStillGetsThePinStatus) {
    GeneralCardSession session(CatalogCard("egk-deactivated"));

    DispatchCardFamily(session.pane, session.card, kProtocolT1, MemoryCardBus::None);

    const std::string& text = session.report.text;
    const auto version = text.find("Reserviert: 12.3.A\r\n");
    const auto refusal =
        text.find("\r\nDie Gesundheitsanwendung ist logisch oder physikalisch deaktiviert\r\n");
    const auto pins = text.find("\r\nStatus der Praxis-PIN:\r\n");
    ASSERT_NE(version, std::string::npos);
    ASSERT_NE(refusal, std::string::npos);
    ASSERT_NE(pins, std::string::npos);
    EXPECT_LT(version, refusal);
    EXPECT_LT(refusal, pins);
    EXPECT_EQ(text.find("Transaktionsstatus"), std::string::npos);
    EXPECT_EQ(text.find("Unerwartete Antwort"), std::string::npos);
}

TEST(GeneralDispatchTest, CardThatIsNeitherZkaNorHealthCardGetsSerialNumberAndDirectoryOnly) {
    GeneralCardSession session(CatalogCard("iso-general"));

    DispatchCardFamily(session.pane, session.card, kProtocolT1, MemoryCardBus::None);

    EXPECT_EQ(session.report.text, std::string(kNoZkaCard) +
                                       "\r\nSeriennummer: 123456789012345F\r\n"
                                       "\r\nAnwendungen der Chipkarte...\r\n"
                                       "\r\nAnwendung 1\r\nAID: A000000308000010000100\r\n"
                                       "Label: PIV\r\n"
                                       "\r\nAnwendung 2\r\nAID: A0000002471001\r\n"
                                       "\r\nRecord Nummer 3 nicht vorhanden.\r\n");
}

struct HealthAidCase {
    const char* name;
    const char* aid;
    bool healthCard;
};

class HealthCardRecognitionTest : public ::testing::TestWithParam<HealthAidCase> {};

TEST_P(HealthCardRecognitionTest, OnlyTheHealthApplicationMakesAnEgk) {
    sim::CardDescription card;
    const Bytes aid = Hex(GetParam().aid);
    Bytes record = {0x4F, static_cast<std::uint8_t>(aid.size())};
    record.insert(record.end(), aid.begin(), aid.end());
    // Behind a shortened AID the record goes on with the bytes that would complete it.
    record.push_back(0x02);
    card.mf = sim::MasterFile({sim::RecordFile(0x2F00, {record})});
    GeneralCardSession session(std::move(card));

    DispatchCardFamily(session.pane, session.card, kProtocolT1, MemoryCardBus::None);

    EXPECT_EQ(session.report.text.find("\r\nDie Chipkarte wird als eGK angesprochen...\r\n") !=
                  std::string::npos,
              GetParam().healthCard);
}

INSTANTIATE_TEST_SUITE_P(
    Aids, HealthCardRecognitionTest,
    ::testing::Values(HealthAidCase{"HealthApplication", "D2 76 00 00 01 02", true},
                      HealthAidCase{"LongerHealthAid", "D2 76 00 00 01 02 01", true},
                      HealthAidCase{"OtherGermanApplication", "D2 76 00 00 01 03", false},
                      HealthAidCase{"ShortenedHealthAid", "D2 76 00 00 01", false},
                      HealthAidCase{"Usim", "A0 00 00 00 87 10 02", false}),
    [](const ::testing::TestParamInfo<HealthAidCase>& info) { return info.param.name; });

TEST(GeneralDispatchTest, UsimReportShowsTheApplicationIdentifier) {
    GeneralCardSession session(CatalogCard("usim"));

    DispatchCardFamily(session.pane, session.card, kProtocolT0, MemoryCardBus::None);

    EXPECT_EQ(session.report.text,
              "\r\nDie Chipkarte wird als GSM-SIM-Karte angesprochen...\r\n"
              "\r\nDatei '2FE2' nicht vorhanden.\r\n"
              "\r\nDie Chipkarte wird als 3G-USIM-Karte angesprochen...\r\n"
              "\r\nAnwendungen der Chipkarte...\r\n"
              "\r\nAnwendung 1\r\nAID: A0000000871002FF49FFFFFFFFFFFFFF\r\nLabel: USIM\r\n"
              "\r\nAnwendung 2\r\nAID: A0000000871004FF49FFFFFFFFFFFFFF\r\nLabel: ISIM\r\n"
              "\r\nAnwendung 3\r\nAID: A0000003431002FF49FFFFFFFFFFFFFF\r\nLabel: \r\n"
              "\r\nRecord Nummer 4 nicht vorhanden.\r\n"
              "\r\n3G-USIM-Applikation vorhanden...\r\n"
              "RID: A000000087\r\n"
              "Anwendungscode: 1002\r\n"
              "Ländercode: 49\r\n"
              "Kartenherausgeber: \r\n"
              "Industriecode: FF\r\n"
              "Spezifikationsversion: FF.FF.FF\r\n");
}

TEST(GeneralDispatchTest, T0CardWithoutUsimEndsAfterTheDirectory) {
    sim::CardDescription card;
    card.protocol = kProtocolT0;
    card.mf = sim::MasterFile({sim::RecordFile(0x2F00, {Hex("4F 05 A0 00 00 00 87 10 02")})});
    GeneralCardSession session(std::move(card));

    DispatchCardFamily(session.pane, session.card, kProtocolT0, MemoryCardBus::None);

    EXPECT_NE(session.report.text.find("\r\nAnwendung 1\r\nAID: A000000087\r\n"),
              std::string::npos);
    EXPECT_EQ(session.report.text.find("3G-USIM-Applikation"), std::string::npos);
}

}  // namespace
}  // namespace zebrik
