// The identity files of a GSM SIM: ICCID (GSM 11.11 10.1.1), phase (10.3.19), IMSI (10.3.2).
#include <algorithm>
#include <string>

#include "core/cards/sim/sim.h"
#include "core/cards/sim/sim_commands.h"
#include "core/report/text.h"

namespace zebrik {

using namespace sim_commands;

namespace {

std::string GsmPhaseText(std::uint8_t phase) {
    switch (phase) {
        case 0x00:
            return "1";
        case 0x02:
            return "2";
        case 0x03:
            return "2+";
        default:
            return Format("%X", static_cast<unsigned>(phase));
    }
}

}  // namespace

int ReadSimIccid(ReportAndPrompt& pane, const CardConnection& card,
                 std::span<std::uint8_t> destination) {
    ApduResponse response;
    // EF ICCID lies directly under the MF.
    if (SendInOrder(pane, card, SendPci::T0, {kSelectMf, kSelectEfIccid, kReadBinaryIccid},
                    response) == 0) {
        return 0;
    }
    AppendReport(pane.report, IccidLine(response.Data()));
    CopyResponseData(destination, response, response.DataLength());
    return 1;
}

int ReadGsmPhase(ReportAndPrompt& pane, const CardConnection& card, std::uint8_t* destination) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T0,
                    {kSelectMf, kSelectDfGsm, kSelectEfPhase, kReadBinaryPhase}, response) == 0) {
        return 0;
    }
    // An empty answer has no phase to show; the cleared buffer must not pass for phase 1.
    if (response.DataLength() == 0) {
        AppendReport(pane.report, "\r\nGSM-Phase: \r\n");
        return 1;
    }
    const std::uint8_t phase = response.Data()[0];
    AppendReport(pane.report, "\r\nGSM-Phase: " + GsmPhaseText(phase) + "\r\n");
    if (destination != nullptr) {
        *destination = phase;
    }
    return 1;
}

std::string IccidLine(std::span<const std::uint8_t> data) {
    std::string line = "\r\nICCID der SIM-Karte: ";
    AppendBcdDigits(line, data, NibbleOrder::LowFirst);
    return line + "\r\n";
}

std::string ImsiLine(std::span<const std::uint8_t> data) {
    // Byte 0 counts the IMSI bytes that follow; the digits end there or with the data.
    const std::size_t end =
        data.empty() ? 0 : std::min<std::size_t>(std::size_t{data[0]} + 1, data.size());
    std::string line = "\r\nIMSI: ";
    // Byte 1: identity type and parity in the low nibble, the first digit in the high one.
    if (end > 1 && (data[1] >> 4) != 0x0F) {
        AppendHexDigit(line, static_cast<std::uint8_t>(data[1] >> 4));
    }
    if (end > 2) {
        AppendBcdDigits(line, data.subspan(2, end - 2), NibbleOrder::LowFirst);
    }
    line += "\r\n";
    return line;
}

int ReadSimImsi(ReportAndPrompt& pane, const CardConnection& card,
                std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T0,
                    {kSelectMf, kSelectDfGsm, kSelectEfImsi, kReadBinaryImsi}, response) == 0) {
        return 0;
    }
    AppendReport(pane.report, ImsiLine(response.Data()));
    CopyResponseData(destination, response, response.DataLength());
    return 1;
}

}  // namespace zebrik
