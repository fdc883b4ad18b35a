// Asks once through the command-line PIN prompt and prints what came back, so that the
// prompt can be driven on a pseudo-terminal without a card. For tests only: it prints
// the typed values.
#include <cstdio>
#include <string_view>

#include "cli/terminal_pin_prompt.h"

int main(int argc, char** argv) {
    const std::string_view mode = argc == 2 ? argv[1] : "";
    zebrik::cli::TerminalPinPrompt prompt;
    if (mode == "pin") {
        zebrik::PinEntryBuffer buffer;
        if (!prompt.AskPin(buffer)) {
            std::puts("abgebrochen");
            return 0;
        }
        std::printf("bestätigt: PIN=%s\n", buffer.pin.data());
        return 0;
    }
    if (mode == "unblock") {
        zebrik::PinUnblockBuffer buffer;
        if (!prompt.AskPukAndNewPin(buffer)) {
            std::puts("abgebrochen");
            return 0;
        }
        std::printf("bestätigt: PUK=%s neue PIN=%s\n", buffer.Puk(), buffer.NewPin());
        return 0;
    }
    std::fputs("Aufruf: zebrik_pin_prompt_probe pin|unblock\n", stderr);
    return 2;
}
