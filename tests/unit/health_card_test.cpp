#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cards/general/general.h"
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

sim::CardDescription VersionCard(std::vector<Bytes> records) {
    sim::CardDescription card;
    card.mf = sim::MasterFile({sim::RecordFile(0x2F10, std::move(records))});
    return card;
}

// An eGK whose EF.StatusVD holds `content`.
sim::CardDescription StatusCard(Bytes content) {
    sim::SimFile status = sim::TransparentFile(0xD00C, std::move(content));
    status.shortId = 0x0C;
    sim::CardDescription card;
    card.mf = sim::MasterFile(
        {sim::DedicatedFile(0xD001, {std::move(status)}, Hex("D2 76 00 00 01 02"))});
    return card;
}

Bytes Ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes StatusFile(char status, const char* version) {
    Bytes file = Ascii(std::string(1, status) + "20110923142501");
    const Bytes tail = Hex(std::string(version) + " 01 02 03 04 05");
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

// ---- Card version ----

struct VersionCase {
    const char* record;
    const char* shown;
};

class CardVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(CardVersionTest, ShowsTheThreePartsOfTheFirstFiveBytes) {
    GeneralCardSession session(VersionCard({Hex(GetParam().record)}));

    EXPECT_EQ(ReadCardVersion(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text, std::string("\r\nVersion der Chipkarte...\r\n"
                                               "Elektrische Schnittstelle: ") +
                                       GetParam().shown +
                                       "\r\n\r\nRecord Nummer 2 nicht vorhanden.\r\n");
}

INSTANTIATE_TEST_SUITE_P(Records, CardVersionTest,
                         ::testing::Values(VersionCase{"00 30 00 00 02", "3.0.2"},
                                           VersionCase{"01 20 03 00 0A", "12.3.A"},
                                           VersionCase{"00 30 00 00 02 77 88", "3.0.2"},
                                           VersionCase{"FF FF FF FF FF", "FFF.FFF.FFFF"},
                                           VersionCase{"00 30 00 00", "nicht ermittelbar"},
                                           VersionCase{"", "nicht ermittelbar"}));

TEST(CardVersionTest, HealthCardShowsFourVersionsAndReadsNoFifthRecord) {
    auto card = CatalogCard("egk");
    for (sim::SimFile& file : card.mf.children) {
        if (file.id == 0x2F10) {
            file.records.push_back(Hex("00 10 00 00 00"));  // a record 5 that is never read
        }
    }
    GeneralCardSession session(std::move(card));

    EXPECT_EQ(ReadCardVersion(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              "\r\nVersion der Chipkarte...\r\n"
              "Elektrische Schnittstelle: 3.0.2\r\n"
              "Anwendungsspezifische Strukturen: 3.0.1\r\n"
              "Speicherstrukturen: 4.0.0\r\n"
              "Reserviert: 12.3.A\r\n");
    EXPECT_EQ(session.Commands(),
              (std::vector<std::string>{"00A4000C", "00A4020C022F10", "00B2010400", "00B2020400",
                                        "00B2030400", "00B2040400"}));
}

TEST(CardVersionTest, MissingVersionFileWritesNoHeading) {
    GeneralCardSession session(sim::CardDescription{});

    EXPECT_EQ(ReadCardVersion(session.pane, session.card), 0);

    EXPECT_EQ(session.report.text, "\r\nDatei '2F10' nicht vorhanden.\r\n");
}

// ---- Insured-data transaction status ----

TEST(InsuredDataStatusTest, HealthCardShowsTheStatusFile) {
    GeneralCardSession session(CatalogCard("egk"));

    EXPECT_EQ(ReadInsuredDataStatus(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              "\r\nTransaktionsstatus der Versichertenstammdaten...\r\n"
              "Status: 0 (keine Transaktionen offen)\r\n"
              "Letzte Aktualisierung: 23.09.2011 14:25:01\r\n"
              "Version der VSD-Struktur: 5.0.1\r\n"
              "Reserviert: 0000000000\r\n");
    EXPECT_EQ(session.Commands(),
              (std::vector<std::string>{"00A4000C", "00A4040C06D27600000102", "00B08C0000"}));
}

struct StatusCase {
    char status;
    const char* version;
    const char* statusLine;
    const char* versionLine;
};

class StatusFileTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusFileTest, PrintsStatusMeaningAndVersion) {
    GeneralCardSession session(StatusCard(StatusFile(GetParam().status, GetParam().version)));

    EXPECT_EQ(ReadInsuredDataStatus(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              std::string("\r\nTransaktionsstatus der Versichertenstammdaten..."
                          "\r\n") +
                  GetParam().statusLine + "Letzte Aktualisierung: 23.09.2011 14:25:01\r\n" +
                  GetParam().versionLine + "Reserviert: 0102030405\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, StatusFileTest,
    ::testing::Values(
        StatusCase{'0', "00 50 00 00 01", "Status: 0 (keine Transaktionen offen)\r\n",
                   "Version der VSD-Struktur: 5.0.1\r\n"},
        StatusCase{'1', "01 20 03 00 0A", "Status: 1 (Transaktionen offen)\r\n",
                   "Version der VSD-Struktur: 12.3.A\r\n"},
        StatusCase{'2', "00 50 00 00 01", "Status: 2\r\n", "Version der VSD-Struktur: 5.0.1\r\n"},
        StatusCase{'\0', "00 50 00 00 01", "Status: \r\n", "Version der VSD-Struktur: 5.0.1\r\n"}));

TEST(InsuredDataStatusTest, ShortStatusFileShowsNoBytesThatWereNotReceived) {
    Bytes file = StatusFile('1', "00 50 00 00 01");
    file.resize(24);
    GeneralCardSession session(StatusCard(file));

    EXPECT_EQ(ReadInsuredDataStatus(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              "\r\nTransaktionsstatus der Versichertenstammdaten...\r\n"
              "nicht ermittelbar\r\n");
}

struct RefusalCase {
    const char* name;
    sim::ScriptedAnswer answer;
    const char* text;
    int result;
};

class HealthApplicationRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(HealthApplicationRefusalTest, WritesOneLineForTheRefusal) {
    auto card = CatalogCard("egk");
    card.scripted.insert(card.scripted.begin(), GetParam().answer);
    GeneralCardSession session(std::move(card));

    EXPECT_EQ(ReadInsuredDataStatus(session.pane, session.card), GetParam().result);

    EXPECT_EQ(session.report.text, GetParam().text);
}

constexpr const char* kDeactivated =
    "\r\nDie Gesundheitsanwendung ist logisch oder physikalisch deaktiviert\r\n";
constexpr const char* kNotAuthorised = "\r\nMobiles Kartenterminal: Autorisierung fehlt\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, HealthApplicationRefusalTest,
    ::testing::Values(
        RefusalCase{"DeactivatedApplication",
                    {Hex("00 A4 04 0C 06 D2 76 00 00 01 02"), Hex("62 83")},
                    kDeactivated,
                    1},
        RefusalCase{"SelectFromUnauthorisedTerminal",
                    {Hex("00 A4 04 0C 06 D2 76 00 00 01 02"), Hex("69 00")},
                    kNotAuthorised,
                    1},
        RefusalCase{"ReadFromUnauthorisedTerminal",
                    {Hex("00 B0 8C 00 00"), Hex("69 00")},
                    kNotAuthorised,
                    1},
        RefusalCase{"WarningOnTheReadIsNotTakenOver",
                    {Hex("00 B0 8C 00 00"), Hex("62 83")},
                    "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '62 83'\r\n",
                    0},
        RefusalCase{"MissingApplication",
                    {Hex("00 A4 04 0C 06 D2 76 00 00 01 02"), Hex("6A 82")},
                    "\r\nDatei (MF, DF bzw. EF) nicht vorhanden.\r\n",
                    0},
        RefusalCase{"RefusedMasterFile",
                    {Hex("00 A4 00 0C"), Hex("69 00")},
                    "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'A4': '69 00'\r\n",
                    0}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(InsuredDataStatusTest, CatalogRefusalCardsGiveTheirLines) {
    GeneralCardSession deactivated(CatalogCard("egk-deactivated"));
    GeneralCardSession unauthorised(CatalogCard("egk-unauthorised"));

    EXPECT_EQ(ReadInsuredDataStatus(deactivated.pane, deactivated.card), 1);
    EXPECT_EQ(ReadInsuredDataStatus(unauthorised.pane, unauthorised.card), 1);

    EXPECT_EQ(deactivated.report.text, kDeactivated);
    EXPECT_EQ(unauthorised.report.text, kNotAuthorised);
}

// ---- PIN status ----

struct PinStatusCase {
    std::uint8_t sw1;
    std::uint8_t sw2;
    const char* line;
    int result;
};

class ReportPinStatusTest : public ::testing::TestWithParam<PinStatusCase> {};

TEST_P(ReportPinStatusTest, WritesTheLineOfTheStatusWord) {
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};

    EXPECT_EQ(ReportPinStatus(pane, GetParam().sw1, GetParam().sw2), GetParam().result);

    EXPECT_EQ(report.text, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    StatusWords, ReportPinStatusTest,
    ::testing::Values(
        PinStatusCase{0x90, 0x00, "Verifikation nicht erforderlich\r\n", 1},
        PinStatusCase{0x63, 0xC3, "Echt-PIN, Fehlbedienungszähler: 3 Versuche verbleibend\r\n", 1},
        PinStatusCase{0x63, 0xC0, "Echt-PIN, Fehlbedienungszähler: 0 Versuche verbleibend\r\n", 1},
        PinStatusCase{0x63, 0xCF, "Echt-PIN, Fehlbedienungszähler: 15 Versuche verbleibend\r\n", 1},
        PinStatusCase{0x62, 0xC1, "Transport-PIN (Zufallszahl)\r\n", 1},
        PinStatusCase{0x62, 0xC3, "Transport-PIN\r\n", 1},
        PinStatusCase{0x6A, 0x88, "Das adressierte Passwort wurde nicht gefunden\r\n", 0},
        PinStatusCase{0x69, 0x82, "Zugriffsregel nicht erfüllt\r\n", 0},
        PinStatusCase{0x63, 0x00, "", 0}, PinStatusCase{0x63, 0xD3, "", 0},
        PinStatusCase{0x62, 0x83, "", 0}, PinStatusCase{0x69, 0x83, "", 0},
        PinStatusCase{0x90, 0x01, "", 0}, PinStatusCase{0x98, 0x04, "", 0},
        PinStatusCase{0x00, 0x00, "", 0}));

TEST(ReportPinStatusTest, NamesEveryKindOfTransportPin) {
    const char* const kinds[16] = {"",
                                   " (Zufallszahl)",
                                   " (abgeleitet)",
                                   "",
                                   " (Leer-PIN 2)",
                                   " (fester Wert)",
                                   "",
                                   " (Leer-PIN 1)",
                                   "",
                                   "",
                                   "",
                                   "",
                                   "",
                                   "",
                                   "",
                                   " (PIN 7391)"};
    for (unsigned x = 0; x < 16; ++x) {
        testing::StringReport report;
        testing::ScriptedPinPrompt prompt;
        ReportAndPrompt pane{report, prompt};
        EXPECT_EQ(ReportPinStatus(pane, 0x62, static_cast<std::uint8_t>(0xC0 | x)), 1) << x;
        EXPECT_EQ(report.text, std::string("Transport-PIN") + kinds[x] + "\r\n") << x;
    }
}

sim::CardDescription PinCard(const char* practice, const char* privat) {
    auto card = CatalogCard("egk");
    card.scripted = {{Hex("80 20 00 01"), Hex(practice)}, {Hex("80 20 00 02"), Hex(privat)}};
    return card;
}

TEST(HealthPinStatusTest, HealthCardShowsBothPins) {
    GeneralCardSession session(CatalogCard("egk"));

    EXPECT_EQ(ReadHealthPinStatus(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              "\r\nStatus der Praxis-PIN:\r\n"
              "Echt-PIN, Fehlbedienungszähler: 3 Versuche verbleibend\r\n"
              "\r\nStatus der Privat-PIN:\r\n"
              "Transport-PIN (Zufallszahl)\r\n");
    EXPECT_EQ(session.Commands(), (std::vector<std::string>{"00A4000C", "80200001", "80200002"}));
}

TEST(HealthPinStatusTest, ResultIsOneWhenEitherPinStateWasInterpreted) {
    GeneralCardSession privateOnly(PinCard("6A 88", "90 00"));
    GeneralCardSession neither(PinCard("69 82", "69 82"));

    EXPECT_EQ(ReadHealthPinStatus(privateOnly.pane, privateOnly.card), 1);
    EXPECT_EQ(ReadHealthPinStatus(neither.pane, neither.card), 0);

    EXPECT_EQ(neither.report.text,
              "\r\nStatus der Praxis-PIN:\r\nZugriffsregel nicht erfüllt\r\n"
              "\r\nStatus der Privat-PIN:\r\nZugriffsregel nicht erfüllt\r\n");
}

TEST(HealthPinStatusTest, NeverPromptsNorSendsAPin) {
    GeneralCardSession session(PinCard("98 04", "98 40"));

    EXPECT_EQ(ReadHealthPinStatus(session.pane, session.card), 0);

    EXPECT_EQ(session.report.text, "\r\nStatus der Praxis-PIN:\r\n\r\nStatus der Privat-PIN:\r\n");
    EXPECT_EQ(session.prompt.pinAsks, 0);
    EXPECT_EQ(session.prompt.pukAsks, 0);
    EXPECT_EQ(session.Commands(), (std::vector<std::string>{"00A4000C", "80200001", "80200002"}));
}

TEST(HealthPinStatusTest, AnswerWithoutStatusBytesIsNotInterpreted) {
    GeneralCardSession session(PinCard("90", "62 C5"));

    EXPECT_EQ(ReadHealthPinStatus(session.pane, session.card), 1);

    EXPECT_EQ(session.report.text,
              "\r\nStatus der Praxis-PIN:\r\n"
              "\r\nStatus der Privat-PIN:\r\nTransport-PIN (fester Wert)\r\n");
}

TEST(HealthPinStatusTest, ResourceManagerErrorEndsTheQueries) {
    constexpr const char* kLost =
        "Es wurde ein Smartcard-Kommunikationsfehler ermittelt. Wiederholen Sie den Vorgang.\r\n";
    // The session's context and connection are calls 0 and 1; the SELECT is call 2.
    for (const std::size_t failing : {3u, 4u}) {
        GeneralCardSession session(CatalogCard("egk"));
        session.manager.fault = [failing](sim::Call call, std::size_t index) -> ResultCode {
            return call == sim::Call::Transmit && index == failing ? kScardECommDataLost : 0;
        };

        EXPECT_EQ(ReadHealthPinStatus(session.pane, session.card), 0) << failing;

        const std::string praxis =
            failing == 4 ? "\r\nStatus der Praxis-PIN:\r\n"
                           "Echt-PIN, Fehlbedienungszähler: 3 Versuche verbleibend\r\n"
                         : "";
        EXPECT_EQ(session.report.text, praxis + kLost) << failing;
    }
}

TEST(HealthPinStatusTest, RefusedMasterFileSendsNoQuery) {
    auto card = CatalogCard("egk");
    card.scripted.insert(card.scripted.begin(), {Hex("00 A4 00 0C"), Hex("69 82")});
    GeneralCardSession session(std::move(card));

    EXPECT_EQ(ReadHealthPinStatus(session.pane, session.card), 0);

    EXPECT_EQ(session.report.text, "\r\nZugriff verweigert.\r\n");
    EXPECT_EQ(session.Commands(), (std::vector<std::string>{"00A4000C"}));
}

}  // namespace
}  // namespace zebrik
