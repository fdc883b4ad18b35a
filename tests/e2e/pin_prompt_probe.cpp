// Asks once through the command-line PIN prompt and prints what came back, so that the
// prompt can be driven on a pseudo-terminal without a card. For tests only: it prints
// the typed values.
#include <cstdio>
#include <string_view>

#include "cli/terminal_pin_prompt.h"

int main(int argc, char** argv) {
    const std::string_view mode = argc == 2 ? argv[1] : "";
    zebrik::cli::TerminalPinPrompt prompt;
    zebrik::PinEntryBuffer pin;
    zebrik::PinUnblockBuffer pair;
    if (mode == "pin" && prompt.AskPin(pin)) {
        std::printf("bestätigt: PIN=%s\n", pin.pin.data());
    } else if (mode == "unblock" && prompt.AskPukAndNewPin(pair)) {
        std::printf("bestätigt: PUK=%s neue PIN=%s\n", pair.Puk(), pair.NewPin());
    } else if (mode == "pin" || mode == "unblock") {
        std::puts("abgebrochen");
    } else {
        std::fputs("Aufruf: zebrik_pin_prompt_probe pin|unblock\n", stderr);
        return 2;
    }
}
