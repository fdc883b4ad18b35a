#include "core/cards/zka/commands.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::uint8_t kGlobalPins = 3;

}  // namespace

// EF_FBZ below the MF: record n holds the error counter of global PIN n.
int ReadGlobalErrorCounters(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T1, {iso::kSelectMfById, zka::kSelectEfErrorCounters},
                    response) == 0) {
        return 0;
    }
    AppendReport(pane.report, "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n");
    for (std::uint8_t pin = 1; pin <= kGlobalPins; ++pin) {
        if (SendCommand(pane, card, SendPci::T1, iso::ReadRecord(pin, iso::kFirstTwoBytes),
                        response) == 0) {
            break;
        }
        AppendReport(pane.report, Format("PIN%u: ", unsigned{pin}) +
                                      zka::TwoByteText(response, zka::TwoByteValue::ErrorCounter) +
                                      "\r\n");
    }
    return 1;
}

// The signature application's own EF_FBZ: record 1 counts the signature PIN.
int ReadSignaturePinCounter(ReportAndPrompt& pane, const CardConnection& card,
                            std::span<std::uint8_t> destination) {
    return zka::ReadTwoByteRecord(
        pane, card, zka::kSelectDfSignature, zka::kSelectEfErrorCounters,
        "Fehlbedienungszähler der Signatur-PIN: ", zka::TwoByteValue::ErrorCounter, destination);
}

}  // namespace zebrik
