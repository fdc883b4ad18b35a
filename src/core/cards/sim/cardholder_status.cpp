// The card-holder verification status of a SIM (GSM 11.11 9.2.1, status of DF GSM) and
// the up-front PIN or PUK prompt that opens the protected files.
#include <algorithm>
#include <array>
#include <string>

#include "core/analysis/pcsc_errors.h"
#include "core/apdu/cardholder.h"
#include "core/cards/sim/sim.h"
#include "core/cards/sim/sim_commands.h"
#include "core/report/text.h"

namespace zebrik {

using namespace sim_commands;

namespace {

// Byte positions in the status of a DF (GSM 11.11 9.2.1).
constexpr std::size_t kGsmDataLength = 12;
constexpr std::size_t kFileCharacteristics = 13;
constexpr std::size_t kChv1Status = 18;
constexpr std::size_t kUnblockChv1Status = 19;
constexpr std::size_t kChv2Status = 20;
constexpr std::size_t kUnblockChv2Status = 21;
constexpr std::uint8_t kChv1Disabled = 0x80;  // in the file characteristics
constexpr std::uint8_t kCodeInitialised = 0x80;
constexpr std::uint8_t kAttemptsMask = 0x0F;

struct CardholderState {
    bool pinQueryOn = false;
    bool pin1Initialised = false;
    unsigned pin1Attempts = 0;
    unsigned puk1Attempts = 0;
};

std::string AttemptsLine(const char* code, unsigned attempts) {
    return Format("%s: %02u Versuche verbleibend\r\n", code, attempts);
}

// Writes the PIN query and counter lines that the status holds and keeps what they say.
CardholderState ReportCardholderState(ReportPane& pane, const ApduResponse& status) {
    CardholderState state;
    const std::uint8_t gsmData = status.At(kGsmDataLength);
    if (status.length >= 16 && gsmData >= 1) {
        state.pinQueryOn = (status.At(kFileCharacteristics) & kChv1Disabled) == 0;
        AppendReport(pane.report,
                     std::string("\r\nPIN-Abfrage ist ") +
                         (state.pinQueryOn ? "eingeschaltet\r\n" : "ausgeschaltet\r\n"));
    }
    if (status.length >= 24 && gsmData >= 9) {
        const std::uint8_t chv1 = status.At(kChv1Status);
        const std::uint8_t chv2 = status.At(kChv2Status);
        state.pin1Initialised = (chv1 & kCodeInitialised) != 0;
        state.pin1Attempts = chv1 & kAttemptsMask;
        state.puk1Attempts = status.At(kUnblockChv1Status) & kAttemptsMask;
        AppendReport(pane.report, "\r\nFehlbedienungszähler:\r\n");
        if (state.pin1Initialised) {
            AppendReport(pane.report, AttemptsLine("PIN1", state.pin1Attempts));
            AppendReport(pane.report, AttemptsLine("PUK1", state.puk1Attempts));
        }
        if ((chv2 & kCodeInitialised) != 0) {
            AppendReport(pane.report, AttemptsLine("PIN2", chv2 & kAttemptsMask));
            AppendReport(pane.report,
                         AttemptsLine("PUK2", status.At(kUnblockChv2Status) & kAttemptsMask));
        }
    }
    return state;
}

// Sends VERIFY or UNBLOCK straight to the resource manager and wipes it. Only 90 00 opens
// the card: 90 01 is no answer a SIM gives to these commands.
template <std::size_t N>
int SendChvCommand(ReportPane& pane, const CardConnection& card,
                   std::array<std::uint8_t, N>& command) {
    std::array<std::uint8_t, kResponseCapacity> response{};
    std::uint32_t length = kResponseCapacity;
    const ResultCode code =
        card.manager.Transmit(card.handle, SendPci::T0, command, response, length);
    SecureWipe(command.data(), command.size());
    if (code != kScardSuccess) {
        ReportPcscError(pane, code);
        return 0;
    }
    length = std::min(length, kResponseCapacity);
    // An answer without status bytes reads as 00 00.
    const std::uint8_t sw1 = length >= 2 ? response[length - 2] : 0x00;
    const std::uint8_t sw2 = length >= 2 ? response[length - 1] : 0x00;
    if (sw1 == 0x90 && sw2 == 0x00) {
        return 1;
    }
    if (sw1 == 0x98) {
        AppendReport(pane.report,
                     Format("Authentisierung fehlgeschlagen: '%02X %02X'.\r\n", sw1, sw2));
    } else {
        AppendReport(pane.report,
                     Format("Unerwartete Antwort der Chipkarte: '%02X %02X'\r\n", sw1, sw2));
    }
    return 0;
}

int Cancelled(ReportPane& pane) {
    AppendReport(pane.report, "Abgebrochen\r\n");
    return 0;
}

int VerifyUpFront(ReportPane& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nBitte PIN eingeben...\r\n");
    PinEntryBuffer entry;
    entry.pin[0] = '\0';
    const bool confirmed = pane.prompt.AskPin(entry);
    pane.report.DropSelection();
    // Nothing typed is nothing to send: an empty field would cost an attempt for nothing.
    if (!confirmed || entry.pin[0] == '\0') {
        SecureWipe(entry.pin.data(), entry.pin.size());
        return Cancelled(pane);
    }
    auto command = BuildVerifyChv1(entry);
    SecureWipe(entry.pin.data(), entry.pin.size());
    return SendChvCommand(pane, card, command);
}

int UnblockUpFront(ReportPane& pane, const CardConnection& card) {
    AppendReport(pane.report, "\r\nBitte PUK eingeben...\r\n");
    PinUnblockBuffer entry;
    entry.Puk()[0] = '\0';
    entry.NewPin()[0] = '\0';
    const bool confirmed = pane.prompt.AskPukAndNewPin(entry);
    pane.report.DropSelection();
    if (!confirmed || entry.Puk()[0] == '\0' || entry.NewPin()[0] == '\0') {
        SecureWipe(entry.bytes.data(), entry.bytes.size());
        return Cancelled(pane);
    }
    auto command = BuildUnblockChv1(entry);
    SecureWipe(entry.bytes.data(), entry.bytes.size());
    return SendChvCommand(pane, card, command);
}

}  // namespace

int CheckSimCardholder(ReportPane& pane, const CardConnection& card) {
    ApduResponse status;
    if (SendInTurn(pane, card, {kSelectMf, kSelectDfGsm}, status) == 0) {
        return 0;
    }
    const CardholderState state = ReportCardholderState(pane, status);
    if (!state.pinQueryOn || !state.pin1Initialised) {
        return 1;  // nothing to present, or the status does not say
    }
    if (state.pin1Attempts > 0) {
        return VerifyUpFront(pane, card);
    }
    if (state.puk1Attempts > 0) {
        return UnblockUpFront(pane, card);
    }
    // PIN1 and PUK1 are both used up: any further attempt could only do harm.
    return 0;
}

}  // namespace zebrik
