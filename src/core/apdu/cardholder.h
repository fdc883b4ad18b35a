#pragma once

#include <array>
#include <cstdint>

#include "core/apdu/connection.h"
#include "core/ports/pin_prompt.h"

namespace zebrik {

// The two commands that change a card, each sent only with what the card holder has just
// typed: VERIFY CHV1 (A0 20 00 01 08 ...) after the PIN prompt, UNBLOCK CHV1
// (A0 2C 00 00 10 ...) after the prompt for PUK and new PIN.
enum class ChvCommand { Verify, Unblock };

// Where the program's two prompts differ: the one TransmitApdu opens for a refused command
// and the SIM readers' up-front prompt. Each caller names its rules where it asks.
struct ChvRules {
    std::uint32_t answerRoom = kResponseCapacity;  // bytes offered for the card's answer
    bool ninetyOneAccepts = false;                 // 90 01 counts as acceptance, as 90 00 does
    bool emptyEntryCancels = false;                // an empty field cancels instead of being sent
    // 0: CHV1 of a GSM SIM, class A0. Else the PIN of a UICC application with this key
    // reference, class 00 (TS 102 221 11.1.9, 11.1.13).
    std::uint8_t keyReference = 0;
};

enum class PromptOutcome {
    Accepted,    // the card accepted the code
    Stop,        // cancelled or a resource-manager error, already reported
    StatusWord,  // the card refused the command with `statusWord`
};

struct PromptResult {
    PromptOutcome outcome = PromptOutcome::Stop;
    StatusWord statusWord = 0;
};

// Writes the prompt line, asks the card holder, builds the command from what was typed and
// sends it straight to the resource manager. Every copy of the typed code is wiped.
PromptResult AskCardHolder(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                           ChvCommand command, const ChvRules& rules);

// VERIFY CHV1 with the typed PIN: the characters as they are (at most 8), FF up to 8 bytes.
// With a key reference: VERIFY PIN of a UICC, 00 20 00 kk 08 and the same field.
std::array<std::uint8_t, 13> BuildVerifyChv1(const PinEntryBuffer& entry,
                                             std::uint8_t keyReference = 0);
// UNBLOCK CHV1 with the typed PUK and new PIN, each as an 8-byte CHV field; with a key
// reference UNBLOCK PIN of a UICC, 00 2C 00 kk 10.
std::array<std::uint8_t, 21> BuildUnblockChv1(const PinUnblockBuffer& entry,
                                              std::uint8_t keyReference = 0);

}  // namespace zebrik
