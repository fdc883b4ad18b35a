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
std::string Amount(const zka::RecordData& record, std::size_t at) {
    return Format("%02X%02X,%02X", record.At(at), record.At(at + 1), record.At(at + 2));
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

std::string HexField(const zka::RecordData& record, std::size_t first, std::size_t last) {
    std::string digits;
    for (std::size_t i = first; i <= last; ++i) {
        digits += Format("%02X", record.At(i));
    }
    return digits;
}

// The date as day.month.century-and-year from the card's CC YY MM DD.
std::string TransactionDate(const zka::RecordData& record, std::size_t century) {
    return Format("Datum der Transaktion:\t%02X.%02X.%02X%02X\r\n", record.At(century + 3),
                  record.At(century + 2), record.At(century), record.At(century + 1));
}

std::string TransactionTime(const zka::RecordData& record, std::size_t hours) {
    return Format("Zeit der Transaktion:\t%02X:%02X:%02X\r\n", record.At(hours),
                  record.At(hours + 1), record.At(hours + 2));
}

void ReportStatusByte(ReportPane& pane, const zka::RecordData& record) {
    AppendReport(pane.report, Format("\r\nStatusbyte:\t\t%02X\r\n", record.At(0)));
    AppendReport(pane.report, "Kommando:\t\t");
    AppendReport(pane.report, TransactionKindText(record.At(0)));
}

void ReportLoadRecord(ReportPane& pane, const zka::RecordData& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nLade-/Entladetransaktion %u\r\n", number));
    ReportStatusByte(pane, record);
    AppendReport(pane.report,
                 Format("Ladesequenznummer:\t%02X%02X\r\n", record.At(1), record.At(2)));
    AppendReport(pane.report,
                 Format("Zahlungssequenznummer:\t%02X%02X\r\n", record.At(31), record.At(32)));
    AppendReport(pane.report, Format("Wiederholungszähler:\t%02X\r\n", record.At(3)));
    AppendReport(pane.report, "Ge-/Entladener Betrag:\t" + Amount(record, 4) + "\r\n");
    AppendReport(pane.report, "Aktueller Betrag:\t" + Amount(record, 7) + "\r\n");
    AppendReport(pane.report, TransactionDate(record, 24));
    AppendReport(pane.report, TransactionTime(record, 28));
    AppendReport(pane.report, "Terminal-ID:\t\t" + HexField(record, 13, 20) + "\r\n");
    AppendReport(pane.report, "Terminal Trace-Nummer:\t" + HexField(record, 21, 23) + "\r\n");
}

void ReportPaymentRecord(ReportPane& pane, const zka::RecordData& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nAbbuchungs-/Rückbuchungstransaktion %u\r\n", number));
    ReportStatusByte(pane, record);
    AppendReport(pane.report,
                 Format("Zahlungssequenznummer:\t%02X%02X\r\n", record.At(1), record.At(2)));
    AppendReport(pane.report,
                 Format("Ladesequenznummer:\t%02X%02X\r\n", record.At(3), record.At(4)));
    AppendReport(pane.report, "Gebuchter Betrag:\t" + Amount(record, 5) + "\r\n");
    AppendReport(pane.report, "Aktueller Betrag:\t" + Amount(record, 26) + "\r\n");
    AppendReport(pane.report, TransactionDate(record, 29));
    AppendReport(pane.report, TransactionTime(record, 33));
    AppendReport(pane.report, "Händlerkartennummer:\t" + HexField(record, 8, 17) + "\r\n");
    AppendReport(pane.report, "Händlersequenznummer:\t" + HexField(record, 18, 21) + "\r\n");
    AppendReport(pane.report, "Summensequenznummer:\t" + HexField(record, 22, 25) + "\r\n");
}

// Reads records 1 to `count` of the selected log; the first that cannot be read ends the
// list (TransmitApdu has said why) and no record beyond `count` is asked for.
template <typename ReportRecord>
void ListLogRecords(ReportPane& pane, const CardConnection& card, std::uint8_t count,
                    ReportRecord reportRecord) {
    ApduResponse response;
    for (std::uint8_t number = 1; number <= count; ++number) {
        if (SendCommand(pane, card, SendPci::T1, zka::ReadRecord(number, zka::kWholeRecord),
                        response) == 0) {
            return;
        }
        reportRecord(pane, zka::RecordData(response), number);
    }
}

}  // namespace

int ReadPurseType(ReportPane& pane, const CardConnection& card) {
    ApduResponse response;
    if (!zka::SendInOrder(
            pane, card,
            {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfPurse, zka::kReadRecord1},
            response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, std::string("\r\nKartentyp:\t\t") + PurseCardTypeText(record.At(0)));
    AppendReport(pane.report, "Börsenkarten-BLZ:\t" + HexField(record, 1, 4) + "\r\n");
    AppendReport(pane.report, "Börsenkartenkonto:\t" + HexField(record, 5, 9) + "\r\n");
    return 1;
}

int ReadPurseAmounts(ReportPane& pane, const CardConnection& card) {
    ApduResponse response;
    if (!zka::SendInOrder(
            pane, card,
            {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfPurseAmounts, zka::kReadRecord1},
            response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, "\r\naktueller Betrag:\t" + Amount(record, 0) + "\r\n");
    AppendReport(pane.report, "maximaler Betrag:\t" + Amount(record, 3) + "\r\n");
    AppendReport(pane.report, "max. Transaktion:\t" + Amount(record, 6) + "\r\n");
    return 1;
}

int ReadLoadSequenceNumber(ReportPane& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfLoadSequence,
                           zka::kReadRecord1FirstTwo},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, Format("\r\nSequenznummer (Laden/Entladen): %02X%02X\r\n",
                                     record.At(0), record.At(1)));
    zka::CopyInto(destination, record, 2);
    return 1;
}

int ReadPaymentSequenceNumber(ReportPane& pane, const CardConnection& card,
                              std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfPaymentSequence,
                           zka::kReadRecord1FirstTwo},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, Format("\r\nSequenznummer (Abbuchung/Rückbuchung): %02X%02X\r\n",
                                     record.At(0), record.At(1)));
    zka::CopyInto(destination, record, 2);
    return 1;
}

int ReadLoadLog(ReportPane& pane, const CardConnection& card) {
    ApduResponse selected;
    if (!zka::SendInOrder(pane, card, {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfLoadLog},
                          selected)) {
        return 0;
    }
    ListLogRecords(pane, card, kLoadLogRecords, ReportLoadRecord);
    return 1;
}

int ReadPaymentLog(ReportPane& pane, const CardConnection& card) {
    ApduResponse selected;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfPurse, zka::kSelectEfPaymentLog},
                          selected)) {
        return 0;
    }
    ListLogRecords(pane, card, kPaymentLogRecords, ReportPaymentRecord);
    return 1;
}

}  // namespace zebrik
