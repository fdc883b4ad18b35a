// The service provider name, EF SPN (GSM 11.11 10.3.11).
#include <string>

#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/sim/sim.h"
#include "core/cards/sim/sim_commands.h"

namespace zebrik {

using namespace sim_commands;

int ReadServiceProviderName(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T0,
                    {kSelectMf, kSelectDfGsm, kSelectEfSpn, kReadBinarySpn}, response) == 0) {
        return 0;
    }
    std::string line = "\r\nProvider: ";
    // Byte 0 is the display condition; the name follows, padded with FF.
    AppendGsmText(line, response.DataBytes(1, response.DataLength()));
    line += "\r\n";
    AppendReport(pane.report, line);
    return 1;
}

}  // namespace zebrik
