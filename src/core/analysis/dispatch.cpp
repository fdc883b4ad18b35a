#include "core/analysis/dispatch.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/cards/general/general.h"
#include "core/cards/sim/sim.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::array<std::uint8_t, 6> kHealthApplication = {0xD2, 0x76, 0x00, 0x00, 0x01, 0x02};

// The run hands the readers an identifier buffer of FF and fifteen 00.
std::array<std::uint8_t, 16> FreshAidBuffer() {
    std::array<std::uint8_t, 16> aid{};
    aid[0] = 0xFF;
    return aid;
}

// Both bits of a SIM service, allocated and activated, at `bit` and `bit + 1`.
constexpr bool ServiceAvailable(std::uint32_t word, unsigned bit) {
    const std::uint32_t mask = 3u << bit;
    return (word & mask) == mask;
}

void ReportMemoryCard(ReportPane& pane, MemoryCardBus bus) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als Speicherkarte angesprochen...\r\n");
    switch (bus) {
        case MemoryCardBus::I2C:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=8 (I²C Bus)\r\n");
            break;
        case MemoryCardBus::ThreeWire:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=9 (3-Wire Bus)\r\n");
            break;
        case MemoryCardBus::TwoWire:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=10 (2-Wire Bus)\r\n");
            break;
        case MemoryCardBus::None:
            break;
    }
}

void ReadGsmSim(ReportPane& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als GSM-SIM-Karte angesprochen...\r\n");
    if (ReadSimIccid(pane, card) == 0) {
        return;
    }
    ReadGsmPhase(pane, card);
    if (CheckSimCardholder(pane, card) == 0) {
        return;
    }
    ReadSimImsi(pane, card);
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    ReadSimServiceTable(pane, card, &first, &second);
    if (ServiceAvailable(second, 0)) {  // service 17, provider name
        ReadServiceProviderName(pane, card);
    }
    if (ServiceAvailable(first, 2)) {  // service 2, abbreviated dialling numbers
        ReadAbbreviatedDiallingNumbers(pane, card);
    }
    if (ServiceAvailable(first, 4)) {  // service 3, fixed dialling numbers
        ReadFixedDiallingNumbers(pane, card);
    }
    if (ServiceAvailable(first, 16)) {  // service 9, MSISDN
        ReadOwnNumbers(pane, card);
    }
    if (ServiceAvailable(first, 24)) {  // service 13, last number dialled
        ReadLastNumbersDialled(pane, card);
    }
}

void ReadUsim(ReportPane& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als 3G-USIM-Karte angesprochen...\r\n");
    auto aid = FreshAidBuffer();
    if (ReadApplicationDirectory(pane, card, aid, DirectoryVariant::Usim) == 0 || aid[0] != 0xA0) {
        return;
    }
    ReportUsimAid(pane, aid);
}

void ReadZkaCard(ReportPane& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als Geldkarte angesprochen...\r\n");
    ReadPurseType(pane, card);
    ReadPurseAmounts(pane, card);
    ReadLoadSequenceNumber(pane, card);
    ReadPaymentSequenceNumber(pane, card);
    ReadLoadLog(pane, card);
    ReadPaymentLog(pane, card);

    AppendReport(pane.report, "\r\nDie Chipkarte wird als HBCI-Karte angesprochen...\r\n");
    ReadBankConnections(pane, card);
    ReadHbciSequenceNumber(pane, card);
    ReadFintsPinCounter(pane, card);

    AppendReport(pane.report, "\r\nDie Chipkarte wird als Signaturkarte angesprochen...\r\n");
    ReadCardSerialNumber(pane, card, {}, SerialNumberVariant::SignatureCard);
    ReadSignaturePinCounter(pane, card);
    ReadGlobalErrorCounters(pane, card);
}

void ReadGeneralFiles(ReportPane& pane, const CardConnection& card) {
    auto aid = FreshAidBuffer();
    AppendReport(pane.report, "\r\nEs werden allgemeine Dateien ausgelesen...\r\n");
    ReadCardSerialNumber(pane, card, {}, SerialNumberVariant::GeneralFiles);
    if (ReadApplicationDirectory(pane, card, aid, DirectoryVariant::GeneralFiles) == 0 ||
        aid[0] == 0xFF ||
        !std::equal(kHealthApplication.begin(), kHealthApplication.end(), aid.begin())) {
        return;
    }
    AppendReport(pane.report, "\r\nDie Chipkarte wird als eGK angesprochen...\r\n");
    ReadCardVersion(pane, card);
    ReadInsuredDataStatus(pane, card);
    ReadHealthPinStatus(pane, card);
}

// The digits of a byte, high nibble first; a nibble F is filler and left out.
void AppendNibbleDigits(std::string& line, std::uint8_t byte) {
    for (std::uint8_t nibble : {static_cast<std::uint8_t>(byte >> 4),
                                static_cast<std::uint8_t>(byte & 0x0F)}) {
        if (nibble != 0x0F) {
            AppendHexDigit(line, nibble);
        }
    }
}

}  // namespace

void ReportUsimAid(ReportPane& pane, std::span<const std::uint8_t, 16> aid) {
    AppendReport(pane.report, "\r\n3G-USIM-Applikation vorhanden...\r\n");
    AppendReport(pane.report,
                 Format("RID: %02X%02X%02X%02X%02X\r\n", aid[0], aid[1], aid[2], aid[3], aid[4]));
    AppendReport(pane.report, Format("Anwendungscode: %02X%02X\r\n", aid[5], aid[6]));
    std::string country = "Ländercode: ";
    AppendNibbleDigits(country, aid[7]);
    AppendNibbleDigits(country, aid[8]);
    country += "\r\n";
    AppendReport(pane.report, country);
    std::string issuer = "Kartenherausgeber: ";
    AppendNibbleDigits(issuer, aid[9]);
    AppendNibbleDigits(issuer, aid[10]);
    issuer += "\r\n";
    AppendReport(pane.report, issuer);
    AppendReport(pane.report, Format("Industriecode: %02X\r\n", aid[11]));
    AppendReport(pane.report,
                 Format("Spezifikationsversion: %X.%X.%X\r\n", aid[12], aid[13], aid[14]));
}

void DispatchCardFamily(ReportPane& pane, const CardConnection& card, std::uint32_t protocol,
                        MemoryCardBus bus) {
    if (protocol == kProtocolT0) {
        // The bus counts only under T=0: a T=1 card is never taken for a memory card.
        if (bus != MemoryCardBus::None) {
            ReportMemoryCard(pane, bus);
            return;
        }
        ReadGsmSim(pane, card);
        ReadUsim(pane, card);
    } else if (protocol == kProtocolT1) {
        AppendReport(pane.report, "\r\nDie Karte wird als ZKA-Chipkarte angesprochen...\r\n");
        if (ReadZkaIdentification(pane, card) != 0) {
            ReadZkaCard(pane, card);
        } else {
            ReadGeneralFiles(pane, card);
        }
    }
}

}  // namespace zebrik
