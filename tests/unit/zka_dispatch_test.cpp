#include <gtest/gtest.h>

#include <string>

#include "core/analysis/dispatch.h"
#include "sim/card_file.h"
#include "sim/catalog.h"
#include "sim/sim_card.h"
#include "zka_sim_fixture.h"

namespace zebrik {
namespace {

using sim::Hex;
using testing::Occurrences;
using testing::SimCardSession;
using testing::T1Card;

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

sim::CardDescription CatalogCard(const char* name) {
    std::optional<sim::CardDescription> card = sim::FindCard(name, ZEBRIK_TEST_CARD_DIR);
    EXPECT_TRUE(card.has_value()) << name;
    return card.value_or(sim::CardDescription{});
}

// A record of blanks only is listed like the others, with its blanks.
std::string BlankBankConnection(int number) {
    return "\r\nBankverbindung " + std::to_string(number) + "\r\n\r\nKreditinstitut:\t\t" +
           Blanks(20) + "\r\nKreditinstitutscode:\t\r\nKommunikationsdienst:\t\r\n" +
           "Kommunikationsadresse:\t" + Blanks(27) + "\r\nLänderkennzeichen:\t" + Blanks(3) +
           "\r\nBenutzerkennung:\t" + Blanks(30) + "\r\n";
}

std::string GeldkarteReport() {
    return
        // Identification
        "\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n"
        "\r\nSeriennummer:\t\t6712345600012345678\r\n"
        "\r\nKurz-BLZ:\t\t123456\r\n"
        "Kartennummer:\t\t0001234567\r\n"
        "Verfalldatum:\t\t08/12\r\n"
        "Aktivierungsdatum:\t15.02.10\r\n"
        "Länderkennung:\t\t0280\r\n"
        "Währung:\t\tEUR\r\n"
        // Purse
        "\r\nDie Chipkarte wird als Geldkarte angesprochen...\r\n"
        "\r\nKartentyp:\t\tkontobezogene Börsenkarte\r\n"
        "Börsenkarten-BLZ:\t50012345\r\n"
        "Börsenkartenkonto:\t0001234567\r\n"
        "\r\naktueller Betrag:\t0012,34\r\n"
        "maximaler Betrag:\t0200,00\r\n"
        "max. Transaktion:\t0200,00\r\n"
        "\r\nSequenznummer (Laden/Entladen): 000C\r\n"
        "\r\nSequenznummer (Abbuchung/Rückbuchung): 0014\r\n"
        // Load log
        "\r\nLade-/Entladetransaktion 1\r\n"
        "\r\nStatusbyte:\t\t00\r\n"
        "Kommando:\t\tLaden\r\n"
        "Ladesequenznummer:\t000C\r\n"
        "Zahlungssequenznummer:\t0013\r\n"
        "Wiederholungszähler:\t00\r\n"
        "Ge-/Entladener Betrag:\t0020,00\r\n"
        "Aktueller Betrag:\t0031,82\r\n"
        "Datum der Transaktion:\t15.03.2012\r\n"
        "Zeit der Transaktion:\t10:30:00\r\n"
        "Terminal-ID:\t\t4912345678900001\r\n"
        "Terminal Trace-Nummer:\t000123\r\n"
        "\r\nLade-/Entladetransaktion 2\r\n"
        "\r\nStatusbyte:\t\t20\r\n"
        "Kommando:\t\tEntladen\r\n"
        "Ladesequenznummer:\t000B\r\n"
        "Zahlungssequenznummer:\t0011\r\n"
        "Wiederholungszähler:\t00\r\n"
        "Ge-/Entladener Betrag:\t0005,00\r\n"
        "Aktueller Betrag:\t0011,82\r\n"
        "Datum der Transaktion:\t28.02.2012\r\n"
        "Zeit der Transaktion:\t17:45:12\r\n"
        "Terminal-ID:\t\t4912345678900001\r\n"
        "Terminal Trace-Nummer:\t00011F\r\n"
        "\r\nLade-/Entladetransaktion 3\r\n"
        "\r\nStatusbyte:\t\t00\r\n"
        "Kommando:\t\tLaden\r\n"
        "Ladesequenznummer:\t000A\r\n"
        "Zahlungssequenznummer:\t0010\r\n"
        "Wiederholungszähler:\t01\r\n"
        "Ge-/Entladener Betrag:\t0015,00\r\n"
        "Aktueller Betrag:\t0019,12\r\n"
        "Datum der Transaktion:\t09.01.2012\r\n"
        "Zeit der Transaktion:\t08:05:59\r\n"
        "Terminal-ID:\t\t4987654321000042\r\n"
        "Terminal Trace-Nummer:\t000977\r\n"
        // Payment log: five records, the sixth is missing
        "\r\nAbbuchungs-/Rückbuchungstransaktion 1\r\n"
        "\r\nStatusbyte:\t\t40\r\n"
        "Kommando:\t\tAbbuchen\r\n"
        "Zahlungssequenznummer:\t0014\r\n"
        "Ladesequenznummer:\t000C\r\n"
        "Gebuchter Betrag:\t0019,48\r\n"
        "Aktueller Betrag:\t0012,34\r\n"
        "Datum der Transaktion:\t16.03.2012\r\n"
        "Zeit der Transaktion:\t12:15:01\r\n"
        "Händlerkartennummer:\t67123456780000000421\r\n"
        "Händlersequenznummer:\t00000133\r\n"
        "Summensequenznummer:\t00000017\r\n"
        "\r\nAbbuchungs-/Rückbuchungstransaktion 2\r\n"
        "\r\nStatusbyte:\t\t60\r\n"
        "Kommando:\t\tRückbuchen\r\n"
        "Zahlungssequenznummer:\t0013\r\n"
        "Ladesequenznummer:\t000B\r\n"
        "Gebuchter Betrag:\t0001,20\r\n"
        "Aktueller Betrag:\t0011,82\r\n"
        "Datum der Transaktion:\t01.03.2012\r\n"
        "Zeit der Transaktion:\t07:44:33\r\n"
        "Händlerkartennummer:\t67555555550000001999\r\n"
        "Händlersequenznummer:\t00000132\r\n"
        "Summensequenznummer:\t00000016\r\n"
        "\r\nAbbuchungs-/Rückbuchungstransaktion 3\r\n"
        "\r\nStatusbyte:\t\t40\r\n"
        "Kommando:\t\tAbbuchen\r\n"
        "Zahlungssequenznummer:\t0012\r\n"
        "Ladesequenznummer:\t000B\r\n"
        "Gebuchter Betrag:\t0001,20\r\n"
        "Aktueller Betrag:\t0010,62\r\n"
        "Datum der Transaktion:\t01.03.2012\r\n"
        "Zeit der Transaktion:\t07:44:10\r\n"
        "Händlerkartennummer:\t67555555550000001999\r\n"
        "Händlersequenznummer:\t00000131\r\n"
        "Summensequenznummer:\t00000016\r\n"
        "\r\nAbbuchungs-/Rückbuchungstransaktion 4\r\n"
        "\r\nStatusbyte:\t\t40\r\n"
        "Kommando:\t\tAbbuchen\r\n"
        "Zahlungssequenznummer:\t0011\r\n"
        "Ladesequenznummer:\t000A\r\n"
        "Gebuchter Betrag:\t0002,30\r\n"
        "Aktueller Betrag:\t0016,82\r\n"
        "Datum der Transaktion:\t10.01.2012\r\n"
        "Zeit der Transaktion:\t16:59:00\r\n"
        "Händlerkartennummer:\t67987654320000000007\r\n"
        "Händlersequenznummer:\t00000876\r\n"
        "Summensequenznummer:\t00000205\r\n"
        "\r\nAbbuchungs-/Rückbuchungstransaktion 5\r\n"
        "\r\nStatusbyte:\t\t40\r\n"
        "Kommando:\t\tAbbuchen\r\n"
        "Zahlungssequenznummer:\t0010\r\n"
        "Ladesequenznummer:\t0009\r\n"
        "Gebuchter Betrag:\t0009,95\r\n"
        "Aktueller Betrag:\t0004,12\r\n"
        "Datum der Transaktion:\t24.12.2011\r\n"
        "Zeit der Transaktion:\t11:30:45\r\n"
        "Händlerkartennummer:\t67123456780000000421\r\n"
        "Händlersequenznummer:\t00000120\r\n"
        "Summensequenznummer:\t00000011\r\n"
        "\r\nRecord Nummer 6 nicht vorhanden.\r\n"
        // HBCI
        "\r\nDie Chipkarte wird als HBCI-Karte angesprochen...\r\n"
        "\r\nBankverbindung 1\r\n"
        "\r\nKreditinstitut:\t\tMusterbank Fürth" +
        Blanks(4) +
        "\r\n"
        "Kreditinstitutscode:\t50012345\r\n"
        "Kommunikationsdienst:\tTCP/IP\r\n"
        "Kommunikationsadresse:\thbci.musterbank.de" +
        Blanks(9) +
        "\r\n"
        "Länderkennzeichen:\t280\r\n"
        "Benutzerkennung:\tKD0001234567" +
        Blanks(18) +
        "\r\n"
        "\r\nBankverbindung 2\r\n"
        "\r\nKreditinstitut:\t\tTestbank eG\r\n"
        "Kreditinstitutscode:\t\r\n"
        "Kommunikationsdienst:\tbenutzerdefiniert\r\n"
        "Kommunikationsadresse:\t0911 1234567" +
        Blanks(15) +
        "\r\n"
        "Adressenzusatz:\t\t01\r\n"
        "Länderkennzeichen:\t280\r\n"
        "Benutzerkennung:\tBenutzer 4711" +
        Blanks(17) +
        "\r\n"
        "\r\nBankverbindung 3\r\n"
        "\r\nKreditinstitut:\t\tBürgerbank Köln" +
        Blanks(5) +
        "\r\n"
        "Kreditinstitutscode:\t37069999\r\n"
        "Kommunikationsdienst:\tHTTPS\r\n"
        "Kommunikationsadresse:\tfints.buergerbank.de/" +
        Blanks(6) +
        "\r\n"
        "Länderkennzeichen:\t280\r\n"
        "Benutzerkennung:\tmueller.hans" +
        Blanks(18) + "\r\n" + BlankBankConnection(4) + BlankBankConnection(5) +
        "\r\nSequenznummer: 002A\r\n"
        "\r\nFehlbedienungszähler der FinTS-PIN: 2/3\r\n"
        // Signature application and global counters
        "\r\nDie Chipkarte wird als Signaturkarte angesprochen...\r\n"
        "\r\nSeriennummer: 8949010012345678901\r\n"
        "\r\nFehlbedienungszähler der Signatur-PIN: 3/3\r\n"
        "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n"
        "PIN1: 3/3\r\n"
        "PIN2: 2/3\r\n"
        "PIN3: 10/10\r\n";
}

TEST(ZkaDispatchTest, GeldkarteGivesTheWholeReport) {
    SimCardSession session(CatalogCard("geldkarte"));

    DispatchCardFamily(session.pane, session.connection, kProtocolT1, MemoryCardBus::None);

    EXPECT_EQ(session.report.text, GeldkarteReport());
    EXPECT_EQ(session.prompt.pinAsks + session.prompt.pukAsks, 0);
}

// Every reader reads its records once; the loops ask for nothing beyond what the report
// shows (the sixth payment record is the one that fails).
TEST(ZkaDispatchTest, GeldkarteSendsOneReadRecordPerShownRecord) {
    SimCardSession session(CatalogCard("geldkarte"));

    DispatchCardFamily(session.pane, session.connection, kProtocolT1, MemoryCardBus::None);

    // identification, purse type, amounts, two sequence numbers: 5; load log 3; payment
    // log 6; bank connections 5; HBCI counters 2; signature PIN 1; global counters 3
    EXPECT_EQ(session.CountCommands(Hex("00 B2")), 25u);
    EXPECT_EQ(session.CountCommands(Hex("00 B0 00 00 00")), 1u);
}

TEST(ZkaDispatchTest, CardWithoutPurseAndHbciStillRunsTheSignatureReaders) {
    SimCardSession session(CatalogCard("bankcard-plain"));

    DispatchCardFamily(session.pane, session.connection, kProtocolT1, MemoryCardBus::None);

    const std::string& text = session.report.text;
    EXPECT_EQ(Occurrences(text, "\r\nDatei 'A200' nicht vorhanden.\r\n"), 6u);
    EXPECT_EQ(Occurrences(text, "\r\nDatei 'A600' nicht vorhanden.\r\n"), 3u);
    const std::string tail =
        "\r\nDie Chipkarte wird als Geldkarte angesprochen...\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDatei 'A200' nicht vorhanden.\r\n"
        "\r\nDie Chipkarte wird als HBCI-Karte angesprochen...\r\n"
        "\r\nDatei 'A600' nicht vorhanden.\r\n"
        "\r\nDatei 'A600' nicht vorhanden.\r\n"
        "\r\nDatei 'A600' nicht vorhanden.\r\n"
        "\r\nDie Chipkarte wird als Signaturkarte angesprochen...\r\n"
        "\r\nSeriennummer: 8949010098765432109\r\n"
        "\r\nDatei 'AB00' nicht vorhanden.\r\n"
        "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n"
        "PIN1: 3/3\r\n"
        "PIN2: 3/3\r\n"
        "PIN3: 1/3\r\n";
    EXPECT_TRUE(text.ends_with(tail)) << text;
    EXPECT_TRUE(
        text.starts_with("\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n"
                         "\r\nSeriennummer:\t\t6776543210098765432\r\n"));
}

// The general-file readers that follow belong to their own family; only the hand-over is
// checked here.
TEST(ZkaDispatchTest, NonZkaT1CardShowsTheIdentificationFailureAndIsHandedOn) {
    SimCardSession session(T1Card({sim::TransparentFile(0x2F02, Hex("5A 01 12"))}));

    DispatchCardFamily(session.pane, session.connection, kProtocolT1, MemoryCardBus::None);

    EXPECT_TRUE(
        session.report.text.starts_with("\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n"
                                        "\r\nDatei '0003' nicht vorhanden.\r\n"
                                        "\r\nEs werden allgemeine Dateien ausgelesen...\r\n"
                                        "\r\nSeriennummer: 12\r\n"))
        << session.report.text;
    EXPECT_EQ(session.report.text.find("Geldkarte"), std::string::npos);
    EXPECT_EQ(session.CountCommands(Hex("00 A4 01 0C 02 A2 00")), 0u);
}

}  // namespace
}  // namespace zebrik
