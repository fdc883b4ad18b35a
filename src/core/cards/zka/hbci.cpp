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
std::string TextOf(const ApduResponse& record, TextField field) {
    return Cp850ToUtf8(record.DataBytes(field.first, field.length));
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
std::string BankCodeLine(const ApduResponse& record) {
    std::string line = "Kreditinstitutscode:\t";
    bool blank = true;
    for (std::size_t i = kBankCode; i < kBankCode + 4; ++i) {
        blank = blank && record.DataAt(i) == 0x20;
    }
    if (!blank) {
        line += zka::HexField(record, kBankCode, 4);
    }
    return line + "\r\n";
}

void AppendLabelledText(ReportAndPrompt& pane, const char* label, const ApduResponse& record,
                        TextField field) {
    AppendReport(pane.report, label);
    AppendReport(pane.report, TextOf(record, field) + "\r\n");
}

void ReportBankConnection(ReportAndPrompt& pane, const ApduResponse& record, unsigned number) {
    AppendReport(pane.report, Format("\r\nBankverbindung %u\r\n", number));
    AppendLabelledText(pane, "\r\nKreditinstitut:\t\t", record, kBankName);
    AppendReport(pane.report, BankCodeLine(record));
    AppendReport(pane.report, "Kommunikationsdienst:\t");
    AppendReport(pane.report, CommunicationServiceText(record.DataAt(kService)));
    AppendLabelledText(pane, "Kommunikationsadresse:\t", record, kAddress);
    if (record.DataAt(kService) == kServiceUserDefined) {
        AppendLabelledText(pane, "Adressenzusatz:\t\t", record, kAddressSuffix);
    }
    AppendLabelledText(pane, "Länderkennzeichen:\t", record, kCountry);
    AppendLabelledText(pane, "Benutzerkennung:\t", record, kUserId);
}

}  // namespace

int ReadBankConnections(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T1,
                    {iso::kSelectMfById, zka::kSelectDfHbci, zka::kSelectEfBankConnections},
                    response) == 0) {
        return 0;
    }
    // Unlike the purse logs, a record that cannot be read makes the whole list a failure.
    for (std::uint8_t number = 1; number <= kBankConnectionRecords; ++number) {
        if (SendCommand(pane, card, SendPci::T1, iso::ReadRecord(number, iso::kWholeRecord),
                        response) == 0) {
            return 0;
        }
        ReportBankConnection(pane, response, number);
    }
    return 1;
}

int ReadHbciSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination) {
    return zka::ReadTwoByteRecord(pane, card, zka::kSelectDfHbci, zka::kSelectEfHbciSequence,
                                  "Sequenznummer: ", zka::TwoByteValue::SequenceNumber,
                                  destination);
}

int ReadFintsPinCounter(ReportAndPrompt& pane, const CardConnection& card,
                        std::span<std::uint8_t> destination) {
    return zka::ReadTwoByteRecord(
        pane, card, zka::kSelectDfHbci, zka::kSelectEfErrorCounters,
        "Fehlbedienungszähler der FinTS-PIN: ", zka::TwoByteValue::ErrorCounter, destination);
}

}  // namespace zebrik
