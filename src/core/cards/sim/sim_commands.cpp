#include "core/cards/sim/sim_commands.h"

#include <algorithm>

#include "core/report/text.h"

namespace zebrik::sim_commands {

int SendInTurn(ReportPane& pane, const CardConnection& card,
               std::initializer_list<Command> commands, ApduResponse& response) {
    for (Command command : commands) {
        if (SendCommand(pane, card, SendPci::T0, command, response) == 0) {
            return 0;
        }
    }
    return 1;
}

void AppendSwappedDigits(std::string& line, std::uint8_t byte) {
    const std::uint8_t low = byte & 0x0F;
    const std::uint8_t high = byte >> 4;
    if (low != 0x0F) {
        AppendHexDigit(line, low);
    }
    if (high != 0x0F) {
        AppendHexDigit(line, high);
    }
}

void CopyToDestination(std::span<std::uint8_t> destination, std::span<const std::uint8_t> data) {
    const std::size_t count = std::min(destination.size(), data.size());
    std::copy_n(data.begin(), count, destination.begin());
}

}  // namespace zebrik::sim_commands
