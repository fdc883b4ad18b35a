#include "core/apdu/connection.h"

#include <algorithm>
#include <array>

#include "core/report/pcsc_errors.h"

namespace zebrik {

std::optional<StatusWord> SendForStatusWord(ReportAndPrompt& pane, const CardConnection& card,
                                            SendPci sendPci, std::span<const std::uint8_t> command,
                                            std::uint32_t answerRoom) {
    std::array<std::uint8_t, kResponseCapacity> answer{};
    std::uint32_t length = std::min(answerRoom, kResponseCapacity);
    const ResultCode code = card.manager.Transmit(card.handle, sendPci, command,
                                                  std::span(answer).first(length), length);
    if (code != kScardSuccess) {
        ReportPcscError(pane.report, code);
        return std::nullopt;
    }
    // A resource manager that claims more than the room it was given is not believed.
    length = std::min({length, answerRoom, kResponseCapacity});
    return StatusWordOf(std::span(answer).first(length));
}

}  // namespace zebrik
