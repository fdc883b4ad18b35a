#pragma once

#include "core/ports/pin_prompt.h"

namespace zebrik::cli {

// Asks for PIN and PUK on the controlling terminal (/dev/tty) with echo off, never on
// standard output, so that a report piped into a file carries no prompt. An empty entry,
// the end of input or a process without a terminal cancels. An entry longer than 8
// characters is refused and asked again, never cut: a cut PIN would be sent to the card
// and counted as a wrong attempt.
class TerminalPinPrompt : public PinPrompt {
public:
    bool AskPin(PinEntryBuffer& buffer) override;
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override;
};

}  // namespace zebrik::cli
