#include "core/analysis/dispatch.h"

#include <algorithm>
#include <array>

#include "core/cards/general/general.h"
#include "core/cards/memory/memory_card.h"
#include "core/cards/sim/sim.h"
#include "core/cards/sim/usim_aid.h"
#include "core/cards/sim/usim_application.h"
#include "core/cards/zka/zka.h"

namespace zebrik {
namespace {

// The run hands the readers an identifier buffer of FF and fifteen 00.
std::array<std::uint8_t, 16> FreshAidBuffer() {
    std::array<std::uint8_t, 16> aid{};
    aid[0] = 0xFF;
    return aid;
}

// How far the GSM part of a mobile card got.
enum class GsmReach {
    NoIccid,     // EF ICCID could not be read
    NoGsmFiles,  // the ICCID was, but not the MF or DF GSM for the PIN status
    FilesOrPin,  // the SIM's files were read, or the card holder has been asked
};

GsmReach ReadGsmSim(ReportAndPrompt& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als GSM-SIM-Karte angesprochen...\r\n");
    if (ReadSimIccid(pane, card) == 0) {
        return GsmReach::NoIccid;
    }
    ReadGsmPhase(pane, card);
    bool filesReached = false;
    if (CheckSimCardholderNotingReach(pane, card, filesReached) == 0) {
        return filesReached ? GsmReach::FilesOrPin : GsmReach::NoGsmFiles;
    }
    ReadSimImsi(pane, card);
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    ReadSimServiceTable(pane, card, &first, &second);
    const auto available = [first, second](unsigned service) {
        return SimServiceAvailable(first, second, service);
    };
    if (available(kServiceProviderName)) {
        ReadServiceProviderName(pane, card);
    }
    if (available(kServiceAbbreviatedDialling)) {
        ReadAbbreviatedDiallingNumbers(pane, card);
    }
    if (available(kServiceFixedDialling)) {
        ReadFixedDiallingNumbers(pane, card);
    }
    if (available(kServiceOwnNumbers)) {
        ReadOwnNumbers(pane, card);
    }
    if (available(kServiceLastNumberDialled)) {
        ReadLastNumbersDialled(pane, card);
    }
    return GsmReach::FilesOrPin;
}

// The USIM application is read only for a card whose GSM part could not reach the SIM's
// files; one stopped at the PIN has had its answer from the card holder.
void ReadUsim(ReportAndPrompt& pane, const CardConnection& card, GsmReach gsm) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als 3G-USIM-Karte angesprochen...\r\n");
    auto aid = FreshAidBuffer();
    std::size_t aidLength = 0;
    if (ReadApplicationDirectory(pane, card, aid, DirectoryVariant::Usim, &aidLength) == 0 ||
        aid[0] != 0xA0) {
        return;
    }
    ReportUsimAid(pane, aid);
    if (gsm != GsmReach::FilesOrPin) {
        ReadUsimApplication(pane, card, aid, aidLength, gsm == GsmReach::NoGsmFiles);
    }
}

void ReadZkaCard(ReportAndPrompt& pane, const CardConnection& card) {
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

void ReadGeneralFiles(ReportAndPrompt& pane, const CardConnection& card) {
    auto aid = FreshAidBuffer();
    AppendReport(pane.report, "\r\nEs werden allgemeine Dateien ausgelesen...\r\n");
    ReadCardSerialNumber(pane, card, {}, SerialNumberVariant::GeneralFiles);
    if (ReadApplicationDirectory(pane, card, aid, DirectoryVariant::GeneralFiles) == 0 ||
        aid[0] == 0xFF ||
        !std::equal(kHealthApplicationAid.begin(), kHealthApplicationAid.end(), aid.begin())) {
        return;
    }
    AppendReport(pane.report, "\r\nDie Chipkarte wird als eGK angesprochen...\r\n");
    ReadCardVersion(pane, card);
    ReadInsuredDataStatus(pane, card);
    ReadHealthPinStatus(pane, card);
}

}  // namespace

void DispatchCardFamily(ReportAndPrompt& pane, const CardConnection& card, std::uint32_t protocol,
                        MemoryCardBus bus) {
    if (protocol == kProtocolT0) {
        // The bus counts only under T=0: a T=1 card is never taken for a memory card.
        if (bus != MemoryCardBus::None) {
            ReportMemoryCard(pane, bus);
            return;
        }
        ReadUsim(pane, card, ReadGsmSim(pane, card));
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
