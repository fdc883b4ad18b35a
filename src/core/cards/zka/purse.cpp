#include <string>

#include "core/cards/zka/commands.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

// The electronic purse (Geldkarte, DF A200): type, amounts, sequence counters and the two
// transaction logs. Every reader selects its path from the MF again.
namespace zebrik {
namespace {

constexpr std::uint8_t kLoadLogRecords = 3;
constexpr std::uint8_t kPaymentLogRecords = 15;

// Three BCD bytes: four digits, a comma, two digits of the fraction.
std::string Amount(const ApduResponse& record, std::size_t at) {
    return Format("%02X%02X,%02X", record.DataAt(at), record.DataAt(at + 1), record.DataAt(at + 2));
}

const char* PurseCardTypeText(std::uint8_t type) {
    switch (type) {
        case 0x00:
            return "kontobezogene Börsenkarte\r\n";
        case 0xFF:
            return "Wertkarte ohne Kontobezug\r\n";
        default:
            return "unbekannt\r\n";
    }
}

// Bits 6 and 5 of a log record's status byte name the kind of transaction.
const char* TransactionKindText(std::uint8_t status) {
    switch (status & 0x60) {
        case 0x00:
            return "Laden\r\n";
        case 0x20:
            return "Entladen\r\n";
        case 0x40:
            return "Abbuchen\r\n";
        default:
            return "Rückbuchen\r\n";
    }
}

// The date as day.month.century-and-year from the card's CC YY MM DD.
std::string TransactionDate(const ApduResponse& record, std::size_t century) {
    return Format("Datum der Transaktion:\t%02X.%02X.%02X%02X\r\n", record.DataAt(century + 3),
                  record.DataAt(century + 2), record.DataAt(century), record.DataAt(century + 1));
}

std::string TransactionTime(const ApduResponse& record, std::size_t hours) {
    return Format("Zeit der Transaktion:\t%02X:%02X:%02X\r\n", record.DataAt(hours),
                  record.DataAt(hours + 1), record.DataAt(hours + 2));
}

void ReportStatusByte(ReportAndPrompt& pane, const ApduResponse& record) {
    AppendReport(pane.report, Format("\r\nStatusbyte:\t\t%02X\r\n", record.DataAt(0)));
    AppendReport(pane.report, "Kommando:\t\t");
    AppendReport(pane.report, TransactionKindText(record.DataAt(0)));
}

void ReportLoadRecord(ReportAndPrompt& pane, const ApduResponse& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nLade-/Entladetransaktion %u\r\n", number));
    ReportStatusByte(pane, record);
    AppendReport(pane.report,
                 Format("Ladesequenznummer:\t%02X%02X\r\n", record.DataAt(1), record.DataAt(2)));
    AppendReport(pane.report, Format("Zahlungssequenznummer:\t%02X%02X\r\n", record.DataAt(31),
                                     record.DataAt(32)));
    AppendReport(pane.report, Format("Wiederholungszähler:\t%02X\r\n", record.DataAt(3)));
    AppendReport(pane.report, "Ge-/Entladener Betrag:\t" + Amount(record, 4) + "\r\n");
    AppendReport(pane.report, "Aktueller Betrag:\t" + Amount(record, 7) + "\r\n");
    AppendReport(pane.report, TransactionDate(record, 24));
    AppendReport(pane.report, TransactionTime(record, 28));
    AppendReport(pane.report, "Terminal-ID:\t\t" + zka::HexField(record, 13, 8) + "\r\n");
    AppendReport(pane.report, "Terminal Trace-Nummer:\t" + zka::HexField(record, 21, 3) + "\r\n");
}

void ReportPaymentRecord(ReportAndPrompt& pane, const ApduResponse& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nAbbuchungs-/Rückbuchungstransaktion %u\r\n", number));
    ReportStatusByte(pane, record);
    AppendReport(pane.report, Format("Zahlungssequenznummer:\t%02X%02X\r\n", record.DataAt(1),
                                     record.DataAt(2)));
    AppendReport(pane.report,
                 Format("Ladesequenznummer:\t%02X%02X\r\n", record.DataAt(3), record.DataAt(4)));
    AppendReport(pane.report, "Gebuchter Betrag:\t" + Amount(record, 5) + "\r\n");
    AppendReport(pane.report, "Aktueller Betrag:\t" + Amount(record, 26) + "\r\n");
    AppendReport(pane.report, TransactionDate(record, 29));
    AppendReport(pane.report, TransactionTime(record, 33));
    AppendReport(pane.report, "Händlerkartennummer:\t" + zka::HexField(record, 8, 10) + "\r\n");
    AppendReport(pane.report, "Händlersequenznummer:\t" + zka::HexField(record, 18, 4) + "\r\n");
    AppendReport(pane.report, "Summensequenznummer:\t" + zka::HexField(record, 22, 4) + "\r\n");
}

// Selects a log and reads its records 1 to `count`; the first that cannot be read ends the
// list (TransmitApdu has said why) and no record beyond `count` is asked for. 0 only when
// the log cannot be selected.
template <typename ReportRecord>
int ReadLog(ReportAndPrompt& pane, const CardConnection& card, const iso::SelectCommand& log,
            std::uint8_t count, ReportRecord reportRecord) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T1, {iso::kSelectMfById, zka::kSelectDfPurse, log},
                    response) == 0) {
        return 0;
    }
    for (std::uint8_t number = 1; number <= count; ++number) {
        if (SendCommand(pane, card, SendPci::T1, iso::ReadRecord(number, iso::kWholeRecord),
                        response) == 0) {
            break;
        }
        reportRecord(pane, response, number);
    }
    return 1;
}

}  // namespace

int ReadPurseType(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse record;
    if (SendInOrder(
            pane, card, SendPci::T1,
            {iso::kSelectMfById, zka::kSelectDfPurse, zka::kSelectEfPurse, zka::kReadRecord1},
            record) == 0) {
        return 0;
    }
    AppendReport(pane.report,
                 std::string("\r\nKartentyp:\t\t") + PurseCardTypeText(record.DataAt(0)));
    AppendReport(pane.report, "Börsenkarten-BLZ:\t" + zka::HexField(record, 1, 4) + "\r\n");
    AppendReport(pane.report, "Börsenkartenkonto:\t" + zka::HexField(record, 5, 5) + "\r\n");
    return 1;
}

int ReadPurseAmounts(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse record;
    if (SendInOrder(pane, card, SendPci::T1,
                    {iso::kSelectMfById, zka::kSelectDfPurse, zka::kSelectEfPurseAmounts,
                     zka::kReadRecord1},
                    record) == 0) {
        return 0;
    }
    AppendReport(pane.report, "\r\naktueller Betrag:\t" + Amount(record, 0) + "\r\n");
    AppendReport(pane.report, "maximaler Betrag:\t" + Amount(record, 3) + "\r\n");
    AppendReport(pane.report, "max. Transaktion:\t" + Amount(record, 6) + "\r\n");
    return 1;
}

int ReadLoadSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination) {
    return zka::ReadTwoByteRecord(
        pane, card, zka::kSelectDfPurse, zka::kSelectEfLoadSequence,
        "Sequenznummer (Laden/Entladen): ", zka::TwoByteValue::SequenceNumber, destination);
}

int ReadPaymentSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                              std::span<std::uint8_t> destination) {
    return zka::ReadTwoByteRecord(
        pane, card, zka::kSelectDfPurse, zka::kSelectEfPaymentSequence,
        "Sequenznummer (Abbuchung/Rückbuchung): ", zka::TwoByteValue::SequenceNumber, destination);
}

int ReadLoadLog(ReportAndPrompt& pane, const CardConnection& card) {
    return ReadLog(pane, card, zka::kSelectEfLoadLog, kLoadLogRecords, ReportLoadRecord);
}

int ReadPaymentLog(ReportAndPrompt& pane, const CardConnection& card) {
    return ReadLog(pane, card, zka::kSelectEfPaymentLog, kPaymentLogRecords, ReportPaymentRecord);
}

}  // namespace zebrik
