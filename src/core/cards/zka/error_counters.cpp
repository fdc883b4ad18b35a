#include "core/cards/zka/commands.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::uint8_t kGlobalPins = 3;

}  // namespace

// EF_FBZ below the MF: record n holds the error counter of global PIN n.
int ReadGlobalErrorCounters(ReportPane& pane, const CardConnection& card) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card, {zka::kSelectMf, zka::kSelectEfErrorCounters}, response)) {
        return 0;
    }
    AppendReport(pane.report, "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n");
    for (std::uint8_t pin = 1; pin <= kGlobalPins; ++pin) {
        if (SendCommand(pane, card, SendPci::T1, zka::ReadRecord(pin, zka::kFirstTwoBytes),
                        response) == 0) {
            break;
        }
        const zka::RecordData record(response);
        AppendReport(pane.report, Format("PIN%u: %u/%u\r\n", unsigned{pin}, unsigned{record.At(1)},
                                         unsigned{record.At(0)}));
    }
    return 1;
}

}  // namespace zebrik
