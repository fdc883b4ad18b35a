#pragma once

#include <memory>

#include "core/ports/pin_prompt.h"

namespace zebrik::cli {

// Asks for PIN and PUK on the controlling terminal (/dev/tty; on Windows the console,
// CONIN$ and CONOUT$) with echo off, never on standard output, so that a report piped into
// a file carries no prompt; what the program wrote to standard output goes out before each
// question. An empty entry, the end of input or a process without a terminal cancels. An
// entry longer than 8 characters is refused and asked again, never cut: a cut PIN would be
// sent to the card and counted as a wrong attempt.
//
// Cancel() ends the question being asked, and every later one, as if the user had
// cancelled it: the watch mode calls it from its signal thread, so that a SIGINT at the
// prompt gives the terminal back and lets the run end with no code sent to the card.
class TerminalPinPrompt : public PinPrompt {
public:
    TerminalPinPrompt();
    ~TerminalPinPrompt() override;
    TerminalPinPrompt(const TerminalPinPrompt&) = delete;
    TerminalPinPrompt& operator=(const TerminalPinPrompt&) = delete;

    bool AskPin(PinEntryBuffer& buffer) override;
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override;
    // Safe from any thread and from a signal handler.
    void Cancel();

    // How Cancel() reaches a question under way; each platform has its own.
    struct CancelSignal;

private:
    std::unique_ptr<CancelSignal> cancel_;
};

}  // namespace zebrik::cli
