#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "core/apdu/connection.h"
#include "core/ports/report_and_prompt.h"

namespace zebrik {

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
int TransmitApdu(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
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
    // Data byte i. A position beyond what the card sent reads as 0, so a short answer
    // shows zeros, never its own status word or the bytes of an earlier answer.
    std::uint8_t DataAt(std::size_t i) const {
        const auto data = Data();
        return i < data.size() ? data[i] : 0;
    }
    // The data bytes of positions first .. first + count - 1 (fewer, or none, when the
    // answer is shorter).
    std::span<const std::uint8_t> DataBytes(std::size_t first, std::size_t count) const {
        const auto data = Data();
        return first < data.size() ? data.subspan(first, std::min(count, data.size() - first))
                                   : std::span<const std::uint8_t>();
    }
};

// Clears the buffer (so a short answer shows zeros, never an earlier response), offers
// the full capacity and sends the command through TransmitApdu.
int SendCommand(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                std::span<const std::uint8_t> command, ApduResponse& response,
                StatusWordTakeover* takeover = nullptr);

// Sends the commands one after the other through SendCommand and stops at the first that
// fails (already reported): 1 when all went through. The response holds the last answer.
int SendInOrder(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                std::initializer_list<std::span<const std::uint8_t>> commands,
                ApduResponse& response);

// Copies the first `positions` data positions of the response into a caller's optional
// destination, as many as it holds; a position the card did not send copies as 0.
void CopyResponseData(std::span<std::uint8_t> destination, const ApduResponse& response,
                      std::size_t positions);

}  // namespace zebrik
