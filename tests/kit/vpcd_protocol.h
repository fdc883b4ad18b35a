#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/sim_card.h"

// The socket protocol of vpcd, the virtual reader driver of vsmartcard inside pcscd.
// Every message goes either way as a 2-byte big-endian length and then the payload. A
// payload of one byte is a control from the reader; any longer one is a command APDU,
// answered with the response APDU.
namespace zebrik::vpcd {

enum class Control : std::uint8_t { PowerOff = 0, PowerOn = 1, Reset = 2, GetAtr = 4 };

inline constexpr std::size_t kControlLength = 1;
inline constexpr std::size_t kLengthPrefix = 2;

// What the card answers to one message from the reader; nothing for the controls that
// want no answer (power and reset) and for controls it does not know.
inline std::optional<sim::Bytes> Answer(sim::SimCard& card, std::span<const std::uint8_t> message) {
    if (message.size() > kControlLength) {
        return card.Process(message);
    }
    if (message.size() < kControlLength) {
        return std::nullopt;
    }
    switch (static_cast<Control>(message[0])) {
        case Control::PowerOn:
        case Control::Reset:
            // A fresh power-up starts the card over: MF selected, CHV1 not verified.
            card.Reset();
            return std::nullopt;
        case Control::GetAtr:
            return card.Description().atr;
        case Control::PowerOff:
        default:
            return std::nullopt;
    }
}

// The payload framed for the socket; nullopt when it is too long for the 2-byte length.
inline std::optional<sim::Bytes> Frame(std::span<const std::uint8_t> payload) {
    if (payload.size() > 0xFFFF) {
        return std::nullopt;
    }
    sim::Bytes framed;
    framed.reserve(payload.size() + kLengthPrefix);
    framed.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
    framed.push_back(static_cast<std::uint8_t>(payload.size() & 0xFF));
    framed.insert(framed.end(), payload.begin(), payload.end());
    return framed;
}

// The payload length announced by a 2-byte prefix.
constexpr std::size_t PayloadLength(std::uint8_t high, std::uint8_t low) {
    return (static_cast<std::size_t>(high) << 8) | low;
}

}  // namespace zebrik::vpcd
