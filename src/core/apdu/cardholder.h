#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/apdu/transmit.h"
#include "core/ports/pin_prompt.h"

namespace zebrik {

// What a card-holder prompt leaves for TransmitApdu.
enum class PromptOutcome {
    Repeat,      // the card accepted: send the caller's command again
    Stop,        // cancelled or a resource-manager error, already reported
    StatusWord,  // the card refused the prompt's command with `statusWord`
};

struct PromptResult {
    PromptOutcome outcome = PromptOutcome::Stop;
    StatusWord statusWord = 0;
};

// Asks for the PIN and sends VERIFY CHV1 (A0 20 00 01 08 ...).
PromptResult VerifyCardHolder(ReportPane& pane, const CardConnection& card, SendPci sendPci);
// Asks for PUK and new PIN and sends UNBLOCK CHV1 (A0 2C 00 00 10 ...).
PromptResult UnblockCardHolder(ReportPane& pane, const CardConnection& card, SendPci sendPci);

// VERIFY CHV1 with the typed PIN: the characters as they are (at most 8), FF up to 8 bytes.
std::array<std::uint8_t, 13> BuildVerifyChv1(const PinEntryBuffer& entry);
// UNBLOCK CHV1 with the typed PUK and new PIN, each as an 8-byte CHV field.
std::array<std::uint8_t, 21> BuildUnblockChv1(const PinUnblockBuffer& entry);

// Overwrites memory that held a PIN, PUK or a command carrying one, in a way the
// compiler may not drop.
void SecureWipe(void* data, std::size_t size);

}  // namespace zebrik
