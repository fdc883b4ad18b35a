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

std::span<const std::uint8_t> RecordData::Bytes(std::size_t first, std::size_t count) const {
    if (first >= data_.size()) {
        return {};
    }
    return data_.subspan(first, std::min(count, data_.size() - first));
}

void CopyInto(std::span<std::uint8_t> destination, const RecordData& record, std::size_t offered) {
    const std::size_t count = std::min(destination.size(), offered);
    for (std::size_t i = 0; i < count; ++i) {
        destination[i] = record.At(i);
    }
}

}  // namespace zebrik::zka
