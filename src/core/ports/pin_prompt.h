#pragma once

#include <array>
#include <cstddef>

namespace zebrik {

inline constexpr std::size_t kMaxPinLength = 8;

// The PIN as a NUL-terminated text of at most 8 characters.
struct PinEntryBuffer {
    std::array<char, 9> pin{};
};

// PUK at byte 0 and the new PIN at byte 9, each NUL-terminated, at most 8 characters.
struct PinUnblockBuffer {
    std::array<char, 18> bytes{};
    char* Puk() { return bytes.data(); }
    char* NewPin() { return bytes.data() + 9; }
    const char* Puk() const { return bytes.data(); }
    const char* NewPin() const { return bytes.data() + 9; }
};

// Overwrites memory that held a PIN, PUK or a command carrying one, in a way the
// compiler may not drop. Every side of the prompt wipes what it held. The platform's own
// function does it (src/platform/secure_wipe_*.cpp).
void SecureWipe(void* data, std::size_t size);

// Asks the card holder for a PIN, or for the PUK and a new PIN. Both return true only
// when the user confirmed; only then is the buffer's content meaningful. Callers clear
// the strings before asking. Implementations must not keep a copy of what was typed.
class PinPrompt {
public:
    virtual ~PinPrompt() = default;
    virtual bool AskPin(PinEntryBuffer& buffer) = 0;
    virtual bool AskPukAndNewPin(PinUnblockBuffer& buffer) = 0;
};

}  // namespace zebrik
