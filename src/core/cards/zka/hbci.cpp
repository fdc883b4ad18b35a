#include <string>

#include "core/cards/zka/commands.h"
#include "core/cards/zka/oem_text.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

// The HBCI/FinTS banking application (DF A600): stored bank connections, the sequence
// counter and the error counter of the FinTS PIN.
namespace zebrik {
namespace {

constexpr std::uint8_t kBankConnectionRecords = 5;
constexpr std::uint8_t kServiceUserDefined = 0x00;

// Byte positions of a bank connection record. The address runs up to the suffix, but only
// its first 27 characters are shown; byte 52 never is.
struct TextField {
    std::size_t first;
    std::size_t length;
};
constexpr TextField kBankName = {0, 20};
constexpr std::size_t kBankCode = 20;
constexpr std::size_t kService = 24;
constexpr TextField kAddress = {25, 27};
constexpr TextField kAddressSuffix = {53, 2};
constexpr TextField kCountry = {55, 3};
constexpr TextField kUserId = {58, 30};

// A text field as far as the card sent it.
std::string TextOf(const zka::RecordData& record, TextField field) {
    return OemTextToAnsi(record.Bytes(field.first, field.length));
}

// The service may be coded as a small number or as an ASCII digit; ASCII one is not a
// known service.
const char* CommunicationServiceText(std::uint8_t service) {
    switch (service) {
        case 0x01:
            return "T-Online\r\n";
        case 0x02:
        case 0x32:
            return "TCP/IP\r\n";
        case 0x03:
        case 0x33:
            return "HTTPS\r\n";
        case 0x20:
            return "\r\n";
        case 0x34:
            return "SMTP\r\n";
        case 0x35:
            return "HTTP\r\n";
        case 0x36:
            return "SOAP mit HTTP-Bindung\r\n";
        default:
            return "benutzerdefiniert\r\n";
    }
}

// Four blanks mean the bank code is not set; the line then stays empty after the label.
std::string BankCodeLine(const zka::RecordData& record) {
    std::string line = "Kreditinstitutscode:\t";
    bool blank = true;
    for (std::size_t i = kBankCode; i < kBankCode + 4; ++i) {
        blank = blank && record.At(i) == 0x20;
    }
    if (!blank) {
        line += Format("%02X%02X%02X%02X", record.At(kBankCode), record.At(kBankCode + 1),
                       record.At(kBankCode + 2), record.At(kBankCode + 3));
    }
    return line + "\r\n";
}

void AppendLabelledText(ReportPane& pane, const char* label, const zka::RecordData& record,
                        TextField field) {
    AppendReport(pane.report, label);
    AppendReport(pane.report, TextOf(record, field) + "\r\n");
}

void ReportBankConnection(ReportPane& pane, const zka::RecordData& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nBankverbindung %u\r\n", number));
    AppendLabelledText(pane, "\r\nKreditinstitut:\t\t", record, kBankName);
    AppendReport(pane.report, BankCodeLine(record));
    AppendReport(pane.report, "Kommunikationsdienst:\t");
    AppendReport(pane.report, CommunicationServiceText(record.At(kService)));
    AppendLabelledText(pane, "Kommunikationsadresse:\t", record, kAddress);
    if (record.At(kService) == kServiceUserDefined) {
        AppendLabelledText(pane, "Adressenzusatz:\t\t", record, kAddressSuffix);
    }
    AppendLabelledText(pane, "Länderkennzeichen:\t", record, kCountry);
    AppendLabelledText(pane, "Benutzerkennung:\t", record, kUserId);
}

}  // namespace

int ReadBankConnections(ReportPane& pane, const CardConnection& card) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfHbci, zka::kSelectEfBankConnections},
                          response)) {
        return 0;
    }
    // Unlike the purse logs, a record that cannot be read makes the whole list a failure.
    for (std::uint8_t number = 1; number <= kBankConnectionRecords; ++number) {
        if (SendCommand(pane, card, SendPci::T1, zka::ReadRecord(number, zka::kWholeRecord),
                        response) == 0) {
            return 0;
        }
        ReportBankConnection(pane, zka::RecordData(response), number);
    }
    return 1;
}

int ReadHbciSequenceNumber(ReportPane& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfHbci, zka::kSelectEfHbciSequence,
                           zka::kReadRecord1FirstTwo},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report,
                 Format("\r\nSequenznummer: %02X%02X\r\n", record.At(0), record.At(1)));
    zka::CopyInto(destination, record, 2);
    return 1;
}

// The error counter record of a PIN shows its second byte first, both in decimal.
int ReadFintsPinCounter(ReportPane& pane, const CardConnection& card,
                        std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectDfHbci, zka::kSelectEfErrorCounters,
                           zka::kReadRecord1FirstTwo},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, Format("\r\nFehlbedienungszähler der FinTS-PIN: %u/%u\r\n",
                                     unsigned{record.At(1)}, unsigned{record.At(0)}));
    zka::CopyInto(destination, record, 2);
    return 1;
}

}  // namespace zebrik
