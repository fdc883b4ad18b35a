#include <gtest/gtest.h>

#include <string>

#include "core/analysis/dispatch.h"
#include "gsm_test_support.h"

namespace zebrik {
namespace {

using sim::Hex;
using testing::CatalogCard;
using testing::FileOf;
using testing::GsmSession;
using testing::PinAnswer;

std::string Report(GsmSession& session) {
    DispatchCardFamily(session.pane, session.card, kProtocolT0, MemoryCardBus::None);
    return session.report.text;
}

const std::string kBanner = "\r\nDie Chipkarte wird als GSM-SIM-Karte angesprochen...\r\n";
const std::string kIdentity =
    "\r\nICCID der SIM-Karte: 8949200123456789012\r\n"
    "\r\nGSM-Phase: 2+\r\n";
const std::string kCountersFull =
    "\r\nFehlbedienungszähler:\r\n"
    "PIN1: 03 Versuche verbleibend\r\n"
    "PUK1: 10 Versuche verbleibend\r\n"
    "PIN2: 03 Versuche verbleibend\r\n"
    "PUK2: 10 Versuche verbleibend\r\n";
const std::string kFiles =
    "\r\nIMSI: 262011234567890\r\n"
    "\r\nSIM-Dienste:\r\n"
    "PIN-Deaktivierung unterstützt und aktiviert\r\n"
    "Kurzrufnummern unterstützt und aktiviert\r\n"
    "Festrufnummern unterstützt und aktiviert\r\n"
    "Kurznachrichten unterstützt und aktiviert\r\n"
    "Nummern der Mobilstation unterstützt und aktiviert\r\n"
    "Zuletzt gewählte Nummer unterstützt und aktiviert\r\n"
    "Name des Diensteanbieters unterstützt und aktiviert\r\n"
    "\r\nProvider: Zebrik Mobil\r\n"
    "\r\nKurzrufnummern...\r\n"
    "[1/10] Büro: +4930123456\r\n"
    "[2/10] Mobilbox: 3311\r\n"
    "[3/10] Mama: +491701234567\r\n"
    "[4/10] \r\n"
    "[5/10] Dr. Müller: 08912345678\r\n"
    "[6/10] IMEI: *#06#\r\n"
    "[7/10] Jörg Weiß: +491609876543\r\n"
    "[8/10] +4940555123\r\n"
    "[9/10] \r\n"
    "[10/10] Zentrale: +49691234567890123456...\r\n"
    "\r\nFestrufnummern...\r\n"
    "[1/3] Zuhause: +4930987654\r\n"
    "[2/3] Notruf: 112\r\n"
    "[3/3] \r\n"
    "\r\nRufnummer der Mobilstation...\r\n"
    "[1/2] Eigene Nummer: +491761234567\r\n"
    "[2/2] \r\n"
    "\r\nZuletzt gewählte Rufnummer...\r\n"
    "[1/5] Büro: +4930123456\r\n"
    "[2/5] 08912345678\r\n"
    "[3/5] Mama: +491701234567\r\n"
    "[4/5] \r\n"
    "[5/5] \r\n";
// A GSM-only SIM knows no class 00, so the USIM directory cannot be selected.
const std::string kUsimPart =
    "\r\nDie Chipkarte wird als 3G-USIM-Karte angesprochen...\r\n"
    "\r\nDie Befehlsklasse CLA '00' wird nicht unterstützt.\r\n";
const std::string kQueryOn = "\r\nPIN-Abfrage ist eingeschaltet\r\n";
const std::string kPromptPin = "\r\nBitte PIN eingeben...\r\n";

TEST(SimReportTest, EverydaySimGivesTheWholeReport) {
    GsmSession session(CatalogCard("sim"));
    EXPECT_EQ(Report(session), kBanner + kIdentity + "\r\nPIN-Abfrage ist ausgeschaltet\r\n" +
                                   kCountersFull + kFiles + kUsimPart);
    EXPECT_EQ(session.prompt.pinAsks + session.prompt.pukAsks, 0);
}

TEST(SimReportTest, TypedPinOpensTheProtectedFiles) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "1234", ""}});
    EXPECT_EQ(Report(session),
              kBanner + kIdentity + kQueryOn + kCountersFull + kPromptPin + kFiles + kUsimPart);
    EXPECT_EQ(session.CommandsWithIns(0x20),
              std::vector<std::string>{"A0 20 00 01 08 31 32 33 34 FF FF FF FF"});
    EXPECT_EQ(session.prompt.pinAsks, 1);
}

TEST(SimReportTest, CancelledPinStopsTheSimPartButNotTheUsimPart) {
    GsmSession session(CatalogCard("sim-pin"), {{false, "", ""}});
    EXPECT_EQ(Report(session), kBanner + kIdentity + kQueryOn + kCountersFull + kPromptPin +
                                   "Abgebrochen\r\n" + kUsimPart);
    EXPECT_TRUE(session.CommandsWithIns(0x20).empty());
}

TEST(SimReportTest, WrongPinStopsTheSimPartWithoutAskingAgain) {
    GsmSession session(CatalogCard("sim-pin"), {{true, "4711", ""}, {true, "1234", ""}});
    EXPECT_EQ(Report(session), kBanner + kIdentity + kQueryOn + kCountersFull + kPromptPin +
                                   "Authentisierung fehlgeschlagen: '98 04'.\r\n" + kUsimPart);
    EXPECT_EQ(session.prompt.pinAsks, 1);
    EXPECT_EQ(session.CommandsWithIns(0x20).size(), 1u);
}

TEST(SimReportTest, BlockedPinIsUnblockedAndTheFilesFollow) {
    GsmSession session(CatalogCard("sim-blocked"), {{true, "12345678", "4321"}});
    EXPECT_EQ(Report(session), kBanner + kIdentity + kQueryOn +
                                   "\r\nFehlbedienungszähler:\r\n"
                                   "PIN1: 00 Versuche verbleibend\r\n"
                                   "PUK1: 07 Versuche verbleibend\r\n"
                                   "PIN2: 03 Versuche verbleibend\r\n"
                                   "PUK2: 10 Versuche verbleibend\r\n"
                                   "\r\nBitte PUK eingeben...\r\n" +
                                   kFiles + kUsimPart);
    EXPECT_EQ(
        session.CommandsWithIns(0x2C),
        std::vector<std::string>{"A0 2C 00 00 10 31 32 33 34 35 36 37 38 34 33 32 31 FF FF FF FF"});
}

TEST(SimReportTest, UsedUpPinAndPukSendNothingToTheCard) {
    GsmSession session(CatalogCard("sim-dead"), {{true, "1234", ""}, {true, "12345678", "4321"}});
    EXPECT_EQ(Report(session), kBanner + kIdentity + kQueryOn +
                                   "\r\nFehlbedienungszähler:\r\n"
                                   "PIN1: 00 Versuche verbleibend\r\n"
                                   "PUK1: 00 Versuche verbleibend\r\n"
                                   "PIN2: 03 Versuche verbleibend\r\n"
                                   "PUK2: 10 Versuche verbleibend\r\n" +
                                   kUsimPart);
    EXPECT_TRUE(session.CommandsWithIns(0x20).empty());
    EXPECT_TRUE(session.CommandsWithIns(0x2C).empty());
    EXPECT_EQ(session.prompt.pinAsks + session.prompt.pukAsks, 0);
}

TEST(SimReportTest, CardThatAsksForThePinOnReadIsAskedOnce) {
    GsmSession session(CatalogCard("sim-pin-on-read"), {{true, "1234", ""}, {true, "1234", ""}});
    EXPECT_EQ(Report(session), kBanner + kIdentity + kPromptPin + kFiles + kUsimPart);
    EXPECT_EQ(session.prompt.pinAsks, 1);
    EXPECT_EQ(session.CommandsWithIns(0x20).size(), 1u);
}

// ---- Which readers the service table lets the run call ----

struct ServiceCase {
    const char* name;
    const char* phase;
    const char* table;
    bool provider;
    bool abbreviated;
    bool fixed;
    bool own;
    bool lastDialled;
};

class ServiceGateTest : public ::testing::TestWithParam<ServiceCase> {};

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST_P(ServiceGateTest, ReadsAFileOnlyWhenItsServiceIsAllocatedAndActivated) {
    const ServiceCase& c = GetParam();
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6FAE).content = Hex(c.phase);
    FileOf(card.mf, 0x6F38).content = Hex(c.table);
    GsmSession session(std::move(card));
    const std::string text = Report(session);
    EXPECT_EQ(Contains(text, "\r\nProvider: "), c.provider);
    EXPECT_EQ(Contains(text, "\r\nKurzrufnummern...\r\n"), c.abbreviated);
    EXPECT_EQ(Contains(text, "\r\nFestrufnummern...\r\n"), c.fixed);
    EXPECT_EQ(Contains(text, "\r\nRufnummer der Mobilstation...\r\n"), c.own);
    EXPECT_EQ(Contains(text, "\r\nZuletzt gewählte Rufnummer...\r\n"), c.lastDialled);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ServiceGateTest,
    ::testing::Values(
        ServiceCase{"Everything", "03", "FF FF 03 03 03", true, true, true, true, true},
        ServiceCase{"AbbreviatedNotActivated", "03", "F7 FF 03 03 03", true, false, true, true,
                    true},
        ServiceCase{"FixedAllocatedOnly", "03", "DF FF 03 03 03", true, true, false, true, true},
        ServiceCase{"OwnAndProviderHalfSet", "03", "FF FF 01 03 02", false, true, true, false,
                    true},
        ServiceCase{"LastDialledActivatedOnly", "03", "FF FF 03 02 03", true, true, true, true,
                    false},
        // A phase 2 table has no fifth byte: no provider name.
        ServiceCase{"Phase2", "02", "FF FF 03 03 03", false, true, true, true, true},
        ServiceCase{"Phase1", "00", "0F 00 03 03 03", false, true, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimReportTest, FailingServiceTableReadCallsNoFollowUpReader) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6F38).id = 0x6F39;
    GsmSession session(std::move(card));
    const std::string text = Report(session);
    EXPECT_TRUE(Contains(text, "\r\nDatei '6F38' nicht vorhanden.\r\n"));
    EXPECT_FALSE(Contains(text, "Provider"));
    EXPECT_FALSE(Contains(text, "Kurzrufnummern..."));
    EXPECT_FALSE(Contains(text, "Festrufnummern..."));
    EXPECT_FALSE(Contains(text, "Rufnummer der Mobilstation..."));
    EXPECT_FALSE(Contains(text, "Zuletzt gewählte Rufnummer..."));
    EXPECT_TRUE(text.ends_with(kUsimPart));
}

}  // namespace
}  // namespace zebrik
