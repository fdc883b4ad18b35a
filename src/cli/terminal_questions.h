#pragma once

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "core/ports/pin_prompt.h"

// The questions of the terminal PIN prompt, the same on every platform. A platform gives
// the terminal with echo off: Usable(), Write(UTF-8 text), ReadLine(Entry&) and kLineEnd.
namespace zebrik::cli::questions {

// One typed entry: at most 8 characters and the NUL, as the card-holder buffers hold it.
// Wiped when it goes, however the question ends.
struct Entry {
    std::array<char, kMaxPinLength + 1> chars{};

    Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { Wipe(); }
    void Wipe() { SecureWipe(chars.data(), chars.size()); }
};

enum class ReadResult { Entered, Empty, TooLong, EndOfInput };

template <typename Terminal>
void WriteLine(const Terminal& terminal, std::string_view text) {
    terminal.Write(std::string(text).append(Terminal::kLineEnd));
}

// Asks until an entry fits; false when the user cancels.
template <typename Terminal>
bool Ask(const Terminal& terminal, std::string_view prompt, Entry& entry) {
    for (;;) {
        terminal.Write(prompt);
        const ReadResult result = terminal.ReadLine(entry);
        if (result == ReadResult::Entered) {
            return true;
        }
        entry.Wipe();
        if (result != ReadResult::TooLong) {
            return false;
        }
        WriteLine(terminal, "Die Eingabe ist zu lang (höchstens 8 Zeichen). Bitte noch einmal.");
    }
}

template <typename Terminal>
bool AskPin(const Terminal& terminal, PinEntryBuffer& buffer) {
    Entry pin;
    if (!terminal.Usable() || !Ask(terminal, "PIN-Code: ", pin)) {
        return false;
    }
    static_assert(sizeof buffer.pin == sizeof pin.chars);
    std::memcpy(buffer.pin.data(), pin.chars.data(), pin.chars.size());
    return true;
}

template <typename Terminal>
bool AskPukAndNewPin(const Terminal& terminal, PinUnblockBuffer& buffer) {
    Entry puk;
    Entry newPin;
    Entry repeated;
    if (!terminal.Usable() || !Ask(terminal, "PUK: ", puk)) {
        return false;
    }
    for (;;) {
        if (!Ask(terminal, "Neue PIN: ", newPin) || !Ask(terminal, "PIN wiederholen: ", repeated)) {
            return false;
        }
        if (std::strncmp(newPin.chars.data(), repeated.chars.data(), newPin.chars.size()) == 0) {
            break;
        }
        WriteLine(terminal,
                  "Die neue PIN und ihre Wiederholung sind verschieden. Bitte noch einmal.");
    }
    std::memcpy(buffer.Puk(), puk.chars.data(), puk.chars.size());
    std::memcpy(buffer.NewPin(), newPin.chars.data(), newPin.chars.size());
    return true;
}

}  // namespace zebrik::cli::questions
