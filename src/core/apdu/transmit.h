#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/ports/pin_prompt.h"
#include "core/ports/report.h"
#include "core/ports/resource_manager.h"

namespace zebrik {

// The report pane and the window that owns the PIN prompts: where every routine writes
// and through which the card holder is asked.
struct ReportPane {
    Report& report;
    PinPrompt& prompt;
};

// The connection to one card, valid for one reader within one run.
struct CardConnection {
    ResourceManager& manager;
    CardHandle handle = 0;
};

using StatusWord = std::uint16_t;

constexpr StatusWord MakeStatusWord(std::uint8_t sw1, std::uint8_t sw2) {
    return static_cast<StatusWord>((sw1 << 8) | sw2);
}
constexpr bool IsSuccess(StatusWord sw) { return sw == 0x9000 || sw == 0x9001; }

// 256 data bytes plus SW1 SW2: the room every reader offers.
inline constexpr std::uint32_t kResponseCapacity = 258;

// Lets a caller answer chosen status words itself. When the command finally ends in one
// of `reportedByCaller`, TransmitApdu returns 0 without writing the table line and sets
// `takenOver`. `statusWord` always receives the last status word of a refused command
// (0 when the call ended in a resource-manager error or a cancelled prompt).
struct StatusWordTakeover {
    std::span<const StatusWord> reportedByCaller;
    StatusWord statusWord = 0;
    bool takenOver = false;
};

// Sends one command APDU and follows up what the card announces: the PIN or PUK prompt
// for 98 04 / 98 40, GET RESPONSE for 61 xx / 9F xx, the re-send with the proposed length
// for 6C xx / 67 xx and with a plain class for 6E 00. Returns 1 when the last status word
// is 90 00 or 90 01; else 0 with the reason already written to the report.
// responseLength: capacity on entry, bytes received (status word included) on return.
int TransmitApdu(ReportPane& pane, const CardConnection& card, SendPci sendPci,
                 std::span<const std::uint8_t> command, std::span<std::uint8_t> response,
                 std::uint32_t& responseLength, StatusWordTakeover* takeover = nullptr);

// The receive buffer of a reader routine.
struct ApduResponse {
    std::array<std::uint8_t, kResponseCapacity> bytes{};
    std::uint32_t length = 0;

    // The data received, without the status word; empty when fewer than two bytes came.
    std::span<const std::uint8_t> Data() const {
        const std::size_t received = length <= bytes.size() ? length : bytes.size();
        return received >= 2 ? std::span<const std::uint8_t>(bytes.data(), received - 2)
                             : std::span<const std::uint8_t>();
    }
    std::size_t DataLength() const { return Data().size(); }
    // Byte i of the buffer whatever the card sent; outside the buffer it reads as 0.
    std::uint8_t At(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
};

// Clears the buffer (so a short answer shows zeros, never an earlier response), offers
// the full capacity and sends the command through TransmitApdu.
int SendCommand(ReportPane& pane, const CardConnection& card, SendPci sendPci,
                std::span<const std::uint8_t> command, ApduResponse& response,
                StatusWordTakeover* takeover = nullptr);

}  // namespace zebrik
