#include "core/report/pcsc_errors.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/fakes.h"

namespace zebrik {
namespace {

struct ErrorCase {
    ResultCode code;
    const char* text;
};

class PcscErrorTableTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PcscErrorTableTest, WithoutPlatformTextTheTableOrTheNumberSpeaks) {
    testing::StringReport report;
    ReportPcscError(report, GetParam().code);
    EXPECT_EQ(report.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    GermanTexts, PcscErrorTableTest,
    ::testing::Values(
        ErrorCase{0x8010000B,
                  "Auf die Smartcard kann aufgrund anderer ausstehender Verbindungen nicht "
                  "zugegriffen werden.\r\n"},
        ErrorCase{0x8010001D, "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt.\r\n"},
        ErrorCase{0x8010002E, "Es wurde kein Smartcardleser gefunden.\r\n"},
        ErrorCase{0x8010002F,
                  "Es wurde ein Smartcard-Kommunikationsfehler ermittelt. Wiederholen Sie den "
                  "Vorgang.\r\n"},
        ErrorCase{0x80100066, "Die Smartcard konnte nicht zurückgesetzt werden.\r\n"},
        ErrorCase{0x80100069,
                  "Es ist keine weitere Kommunikation möglich, da die Smartcard entfernt "
                  "wurde.\r\n"},
        ErrorCase{1117,
                  "Die Anforderung konnte wegen eines E/A-Gerätefehlers nicht ausgeführt "
                  "werden.\r\n"},
        ErrorCase{22, "Das Gerät erkennt den Befehl nicht.\r\n"},
        ErrorCase{23, "Datenfehler (CRC-Prüfung)\r\n"},
        // Codes without a row: eight upper-case digits with leading zeros.
        ErrorCase{0x80100017, "Fehler 0x80100017\r\n"},
        ErrorCase{0x8010006A, "Fehler 0x8010006A\r\n"},
        ErrorCase{0x80100011, "Fehler 0x80100011\r\n"}, ErrorCase{24, "Fehler 0x00000018\r\n"},
        ErrorCase{0, "Fehler 0x00000000\r\n"}, ErrorCase{0x0000ABCD, "Fehler 0x0000ABCD\r\n"},
        ErrorCase{0xFFFFFFFF, "Fehler 0xFFFFFFFF\r\n"},
        // All 32 bits must match: a table code in the high word alone is no match.
        ErrorCase{0x0016002E, "Fehler 0x0016002E\r\n"}));

// A platform with texts for chosen codes.
class FixedMessages : public PlatformMessages {
public:
    explicit FixedMessages(std::map<ResultCode, std::string> texts) : texts_(std::move(texts)) {}
    std::optional<std::string> Lookup(ResultCode code) const override {
        auto found = texts_.find(code);
        return found == texts_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::map<ResultCode, std::string> texts_;
};

TEST(PcscErrorTextTest, PlatformTextComesFirstAndUnchanged) {
    const FixedMessages platform(
        {{0x8010002E, "No readers (platform)\r\n"}, {0x80100099, "Unbekannt laut System\n"}});
    EXPECT_EQ(PcscErrorText(0x8010002E, platform), "No readers (platform)\r\n");
    EXPECT_EQ(PcscErrorText(0x80100099, platform), "Unbekannt laut System\n");
    // Codes the platform does not know still get the table or the number.
    EXPECT_EQ(PcscErrorText(0x8010001D, platform),
              "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt.\r\n");
    EXPECT_EQ(PcscErrorText(0x8010006A, platform), "Fehler 0x8010006A\r\n");
}

TEST(PcscErrorTextTest, EmptyPlatformTextCountsAsNone) {
    const FixedMessages platform({{0x8010002E, ""}, {24, ""}});
    EXPECT_EQ(PcscErrorText(0x8010002E, platform), "Es wurde kein Smartcardleser gefunden.\r\n");
    EXPECT_EQ(PcscErrorText(24, platform), "Fehler 0x00000018\r\n");
}

TEST(PcscErrorTextTest, LongPlatformTextIsCutTo259BytesOfWholeCharacters) {
    const std::string ascii(300, 'x');
    // 258 bytes of 'y' then "ä" (2 bytes): the ä would end at byte 260 and is left out.
    const std::string umlaut = std::string(258, 'y') + "äz";
    const std::string fits = std::string(257, 'w') + "ä";  // exactly 259 bytes
    const FixedMessages platform({{1, ascii}, {2, umlaut}, {3, fits}});
    EXPECT_EQ(PcscErrorText(1, platform), std::string(259, 'x'));
    EXPECT_EQ(PcscErrorText(2, platform), std::string(258, 'y'));
    EXPECT_EQ(PcscErrorText(3, platform), fits);
}

TEST(PcscErrorTextTest, ReportPcscErrorAppendsAtTheEndWithoutAddingALineEnd) {
    testing::StringReport report;
    report.text = "davor\r\n";
    const FixedMessages platform({{7, "ohne Zeilenende"}});
    ReportPcscError(report, 7, platform);
    ReportPcscError(report, 23);
    EXPECT_EQ(report.text, "davor\r\nohne ZeilenendeDatenfehler (CRC-Prüfung)\r\n");
}

}  // namespace
}  // namespace zebrik
