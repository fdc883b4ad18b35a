#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/ports/report_and_prompt.h"
#include "core/ports/resource_manager.h"

// What every exchange with a card starts from: the connection, the status word that ends
// an answer, and the one transmission that goes straight to the resource manager.
namespace zebrik {

// The connection to one card, valid for one reader within one run.
struct CardConnection {
    ResourceManager& manager;
    CardHandle handle = 0;
};

using StatusWord = std::uint16_t;

constexpr StatusWord MakeStatusWord(std::uint8_t sw1, std::uint8_t sw2) {
    return static_cast<StatusWord>((sw1 << 8) | sw2);
}
constexpr std::uint8_t Sw1(StatusWord sw) {
    return static_cast<std::uint8_t>(sw >> 8);
}
constexpr std::uint8_t Sw2(StatusWord sw) {
    return static_cast<std::uint8_t>(sw & 0xFF);
}
constexpr bool IsSuccess(StatusWord sw) {
    return sw == 0x9000 || sw == 0x9001;
}

// The status word that ends an answer: its last two bytes. An answer without them reads
// as 00 00, which no card sends and every caller takes for a refusal.
constexpr StatusWord StatusWordOf(std::span<const std::uint8_t> answer) {
    return answer.size() >= 2 ? MakeStatusWord(answer[answer.size() - 2], answer.back()) : 0x0000;
}

// 256 data bytes plus SW1 SW2: the room every reader offers.
inline constexpr std::uint32_t kResponseCapacity = 258;

// Sends a command straight to the resource manager, past the follow-ups and prompts of
// TransmitApdu, with `answerRoom` bytes (at most kResponseCapacity) offered for the
// answer. Returns its status word, or nothing after a resource-manager error, which is
// already reported.
std::optional<StatusWord> SendForStatusWord(ReportAndPrompt& pane, const CardConnection& card,
                                            SendPci sendPci, std::span<const std::uint8_t> command,
                                            std::uint32_t answerRoom = kResponseCapacity);

}  // namespace zebrik
