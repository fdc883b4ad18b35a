// The card-holder verification status of a SIM (GSM 11.11 9.2.1, status of DF GSM) and
// the up-front PIN or PUK prompt that opens the protected files.
#include <string>

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
CardholderState ReportCardholderState(ReportAndPrompt& pane, const ApduResponse& status) {
    CardholderState state;
    const std::uint8_t gsmData = status.DataAt(kGsmDataLength);
    if (status.length >= 16 && gsmData >= 1) {
        state.pinQueryOn = (status.DataAt(kFileCharacteristics) & kChv1Disabled) == 0;
        AppendReport(pane.report,
                     std::string("\r\nPIN-Abfrage ist ") +
                         (state.pinQueryOn ? "eingeschaltet\r\n" : "ausgeschaltet\r\n"));
    }
    if (status.length >= 24 && gsmData >= 9) {
        const std::uint8_t chv1 = status.DataAt(kChv1Status);
        const std::uint8_t chv2 = status.DataAt(kChv2Status);
        state.pin1Initialised = (chv1 & kCodeInitialised) != 0;
        state.pin1Attempts = chv1 & kAttemptsMask;
        state.puk1Attempts = status.DataAt(kUnblockChv1Status) & kAttemptsMask;
        AppendReport(pane.report, "\r\nFehlbedienungszähler:\r\n");
        if (state.pin1Initialised) {
            AppendReport(pane.report, AttemptsLine("PIN1", state.pin1Attempts));
            AppendReport(pane.report, AttemptsLine("PUK1", state.puk1Attempts));
        }
        if ((chv2 & kCodeInitialised) != 0) {
            AppendReport(pane.report, AttemptsLine("PIN2", chv2 & kAttemptsMask));
            AppendReport(pane.report,
                         AttemptsLine("PUK2", status.DataAt(kUnblockChv2Status) & kAttemptsMask));
        }
    }
    return state;
}

// The up-front prompt offers the room of a reader's buffer. Only 90 00 opens the card: 90 01
// is no answer a SIM gives to these commands. Nothing typed is nothing to send: an empty
// field would cost an attempt for nothing.
constexpr ChvRules kUpFrontPrompt = {
    .answerRoom = kResponseCapacity, .ninetyOneAccepts = false, .emptyEntryCancels = true};

// Asks up front and sends the command; 1 when the card accepted it.
int OpenUpFront(ReportAndPrompt& pane, const CardConnection& card, ChvCommand command) {
    const PromptResult result = AskCardHolder(pane, card, SendPci::T0, command, kUpFrontPrompt);
    if (result.outcome == PromptOutcome::Accepted) {
        return 1;
    }
    if (result.outcome == PromptOutcome::StatusWord) {
        const StatusWord sw = result.statusWord;
        AppendReport(pane.report,
                     Format(Sw1(sw) == 0x98 ? "Authentisierung fehlgeschlagen: '%02X %02X'.\r\n"
                                            : "Unerwartete Antwort der Chipkarte: '%02X %02X'\r\n",
                            Sw1(sw), Sw2(sw)));
    }
    return 0;
}

}  // namespace

int CheckSimCardholder(ReportAndPrompt& pane, const CardConnection& card) {
    bool filesReached = false;
    return CheckSimCardholderNotingReach(pane, card, filesReached);
}

int CheckSimCardholderNotingReach(ReportAndPrompt& pane, const CardConnection& card,
                                  bool& filesReached) {
    ApduResponse status;
    filesReached = SendInOrder(pane, card, SendPci::T0, {kSelectMf, kSelectDfGsm}, status) != 0;
    if (!filesReached) {
        return 0;
    }
    const CardholderState state = ReportCardholderState(pane, status);
    if (!state.pinQueryOn || !state.pin1Initialised) {
        return 1;  // nothing to present, or the status does not say
    }
    if (state.pin1Attempts > 0) {
        return OpenUpFront(pane, card, ChvCommand::Verify);
    }
    if (state.puk1Attempts > 0) {
        return OpenUpFront(pane, card, ChvCommand::Unblock);
    }
    // PIN1 and PUK1 are both used up: any further attempt could only do harm.
    return 0;
}

}  // namespace zebrik
