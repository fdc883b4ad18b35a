// Asks once through the command-line PIN prompt ("unblock": the unblock questions, else the
// PIN) and prints what came back (the typed values: for tests only), to drive it on a pty.
#include <cstdio>
#include <string_view>

#include "cli/terminal_pin_prompt.h"

int main(int argc, char** argv) {
    const bool unblock = argc == 2 && std::string_view(argv[1]) == "unblock";
    zebrik::cli::TerminalPinPrompt prompt;
    zebrik::PinEntryBuffer pin;
    zebrik::PinUnblockBuffer pair;
    if (!unblock && prompt.AskPin(pin)) {
        std::printf("bestätigt: PIN=%s\n", pin.pin.data());
    } else if (unblock && prompt.AskPukAndNewPin(pair)) {
        std::printf("bestätigt: PUK=%s neue PIN=%s\n", pair.Puk(), pair.NewPin());
    } else {
        std::puts("abgebrochen");
    }
}
