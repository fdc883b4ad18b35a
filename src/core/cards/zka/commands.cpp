#include "core/cards/zka/commands.h"

#include <algorithm>

namespace zebrik::zka {

bool SendInOrder(ReportPane& pane, const CardConnection& card,
                 std::initializer_list<std::span<const std::uint8_t>> commands,
                 ApduResponse& response) {
    for (std::span<const std::uint8_t> command : commands) {
        if (SendCommand(pane, card, SendPci::T1, command, response) == 0) {
            return false;
        }
    }
    return true;
}

void CopyInto(std::span<std::uint8_t> destination, const ApduResponse& response,
              std::size_t offered) {
    const std::size_t count = std::min({destination.size(), offered, response.bytes.size()});
    std::copy_n(response.bytes.begin(), count, destination.begin());
}

}  // namespace zebrik::zka
