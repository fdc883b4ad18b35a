#include "core/apdu/transmit.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/apdu/cardholder.h"
#include "core/report/pcsc_errors.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::uint8_t kInsGetResponse = 0xC0;
constexpr std::size_t kMaxClassResend = 7;

// The prompt a refused command opens. VERIFY and UNBLOCK answer with the status word
// alone, so 48 bytes leave a card that adds data anyway room to spare; both status words
// of success count, as for any other command of the exchange. An empty entry cancels: a
// field of eight FF is no value the card holder gave, and would only cost an attempt.
constexpr ChvRules kExchangePrompt = {
    .answerRoom = 48, .ninetyOneAccepts = true, .emptyEntryCancels = true};

StatusWord StatusWordAskingFor(ChvCommand chv) {
    return chv == ChvCommand::Verify ? 0x9804 : 0x9840;
}

// Byte i of the caller's command; a four-byte command reads 00 as its P3.
std::uint8_t CommandByte(std::span<const std::uint8_t> command, std::size_t i) {
    return i < command.size() ? command[i] : 0;
}

bool CallerReports(const StatusWordTakeover* takeover, StatusWord sw) {
    return takeover != nullptr &&
           std::find(takeover->reportedByCaller.begin(), takeover->reportedByCaller.end(), sw) !=
               takeover->reportedByCaller.end();
}

// The line for a refused command, named by the caller's command bytes.
std::string RefusalText(std::span<const std::uint8_t> command, StatusWord sw) {
    const std::uint8_t sw1 = Sw1(sw);
    const std::uint8_t sw2 = Sw2(sw);
    const std::uint8_t cla = CommandByte(command, 0);
    const std::uint8_t ins = CommandByte(command, 1);
    const std::uint8_t p1 = CommandByte(command, 2);
    const std::uint8_t p2 = CommandByte(command, 3);
    const std::uint8_t p3 = CommandByte(command, 4);
    // A command of 7 bytes is a SELECT by file identifier: the line names the file.
    const auto missing = [&](const char* otherwise) {
        return command.size() == 7 ? Format("Datei '%02X%02X' nicht vorhanden.\r\n",
                                            CommandByte(command, 5), CommandByte(command, 6))
                                   : std::string(otherwise);
    };
    switch (sw) {
        case 0x6700:
            return Format("Die Datenlänge P3/Lc/Le '%02X' für den Befehl '%02X' ist falsch.\r\n",
                          p3, ins);
        case 0x6982:
            return "Zugriff verweigert.\r\n";
        case 0x6986:
            return "Kommando nicht erlaubt (keine Datei selektiert).\r\n";
        case 0x6A82:
            return missing("Datei (MF, DF bzw. EF) nicht vorhanden.\r\n");
        case 0x6A83:
            return Format("Record Nummer %u nicht vorhanden.\r\n", static_cast<unsigned>(p1));
        case 0x6A86:
            return Format(
                "Der Parameter P1 '%02X' oder P2 '%02X' zum Befehl '%02X' ist ungültig.\r\n", p1,
                p2, ins);
        case 0x9402:
            return "Adressbereich überschritten.\r\n";
        case 0x9404:
            return missing("Datei (MF, DF bzw. EF) oder Record nicht vorhanden.\r\n");
        default:
            break;
    }
    switch (sw1) {
        case 0x67:
        case 0x6C:
            return Format(
                "Die Datenlänge P3/Lc/Le '%02X' für den Befehl '%02X' ist falsch. Erwartet: "
                "'%02X'\r\n",
                p3, ins, sw2);
        case 0x6B:
            return Format("Die Parameter P1 '%02X', P2 '%02X' zum Befehl '%02X' sind falsch.\r\n",
                          p1, p2, ins);
        case 0x6D:
            return Format("Der Befehlstyp INS '%02X' ist nicht implementiert oder ungültig.\r\n",
                          ins);
        case 0x6E:
            return Format("Die Befehlsklasse CLA '%02X' wird nicht unterstützt.\r\n", cla);
        case 0x98:
            return Format("Authentisierung fehlgeschlagen: '%02X %02X'.\r\n", sw1, sw2);
        default:
            return Format(
                "Unerwartete Antwort der Chipkarte auf den Befehl '%02X': '%02X %02X'\r\n", ins,
                sw1, sw2);
    }
}

// One call's exchange with the card: every transmission goes into the caller's buffer
// with the capacity the caller offered on entry.
class Exchange {
public:
    Exchange(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
             std::span<std::uint8_t> response, std::uint32_t& responseLength)
        : pane_(pane),
          card_(card),
          sendPci_(sendPci),
          response_(response),
          responseLength_(responseLength),
          capacity_(
              static_cast<std::uint32_t>(std::min<std::size_t>(responseLength, response.size()))) {}

    // Sends a command; false after a resource-manager error (already reported).
    bool Send(std::span<const std::uint8_t> command) {
        responseLength_ = capacity_;
        const ResultCode code = card_.manager.Transmit(card_.handle, sendPci_, command,
                                                       response_.first(capacity_), responseLength_);
        if (code != kScardSuccess) {
            ReportPcscError(pane_.report, code);
            return false;
        }
        // A resource manager that claims more than the room it was given is not believed.
        responseLength_ = std::min(responseLength_, capacity_);
        return true;
    }

    std::uint32_t Received() const { return responseLength_; }

    StatusWord LastStatusWord() const { return StatusWordOf(response_.first(responseLength_)); }

private:
    ReportAndPrompt& pane_;
    const CardConnection& card_;
    SendPci sendPci_;
    std::span<std::uint8_t> response_;
    std::uint32_t& responseLength_;
    std::uint32_t capacity_;
};

}  // namespace

int TransmitApdu(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                 std::span<const std::uint8_t> command, std::span<std::uint8_t> response,
                 std::uint32_t& responseLength, StatusWordTakeover* takeover) {
    if (takeover != nullptr) {
        takeover->statusWord = 0;
        takeover->takenOver = false;
    }
    Exchange exchange(pane, card, sendPci, response, responseLength);
    StatusWord sw = 0;
    // Sends the caller's command until the card accepts it, refuses it, or the card
    // holder's prompt ends the call; only an accepted PIN or PUK sends it again. The PUK
    // prompt also follows a PIN prompt whose attempt blocked the PIN (98 40).
    for (bool sendAgain = true; sendAgain;) {
        if (!exchange.Send(command)) {
            return 0;
        }
        sw = exchange.LastStatusWord();
        if (IsSuccess(sw)) {
            return 1;
        }
        sendAgain = false;
        for (const ChvCommand chv : {ChvCommand::Verify, ChvCommand::Unblock}) {
            if (sw != StatusWordAskingFor(chv)) {
                continue;
            }
            const PromptResult prompt = AskCardHolder(pane, card, sendPci, chv, kExchangePrompt);
            if (prompt.outcome == PromptOutcome::Stop) {
                return 0;
            }
            if (prompt.outcome == PromptOutcome::Accepted) {
                sendAgain = true;
                break;
            }
            sw = prompt.statusWord;
        }
    }

    // Each follow-up is sent at most once, in this order, on the status word the one
    // before it left. They look only at an answer of exactly the two status bytes.
    const auto onlyStatus = [&] { return exchange.Received() == 2; };
    const auto followUp = [&](std::span<const std::uint8_t> next) -> int {
        if (!exchange.Send(next)) {
            return 0;
        }
        sw = exchange.LastStatusWord();
        return IsSuccess(sw) ? 1 : -1;
    };

    if (onlyStatus() && (Sw1(sw) == 0x61 || Sw1(sw) == 0x9F) && Sw2(sw) != 0) {
        const std::array<std::uint8_t, 5> getResponse = {CommandByte(command, 0), kInsGetResponse,
                                                         0x00, 0x00, Sw2(sw)};
        if (const int result = followUp(getResponse); result >= 0) {
            return result;
        }
    }
    // The proposed length is an Le, so only a command of header and Le takes it.
    if (onlyStatus() && (Sw1(sw) == 0x6C || Sw1(sw) == 0x67) && Sw2(sw) != 0 &&
        command.size() == 5) {
        std::array<std::uint8_t, 5> again{};
        std::copy(command.begin(), command.end(), again.begin());
        again[4] = Sw2(sw);
        if (const int result = followUp(again); result >= 0) {
            return result;
        }
    }
    // The readers' commands of another class than 00 (GSM SELECT, READ BINARY, READ
    // RECORD) are at most 7 bytes long; a longer one is not sent a second time under a
    // class it was not written for.
    if (onlyStatus() && sw == 0x6E00 && CommandByte(command, 0) != 0x00 &&
        command.size() <= kMaxClassResend) {
        std::array<std::uint8_t, kMaxClassResend> again{};
        std::copy(command.begin(), command.end(), again.begin());
        again[0] = static_cast<std::uint8_t>(again[0] & 0x0F);
        if (const int result = followUp(std::span(again).first(command.size())); result >= 0) {
            return result;
        }
    }

    if (takeover != nullptr) {
        takeover->statusWord = sw;
        if (CallerReports(takeover, sw)) {
            takeover->takenOver = true;
            return 0;
        }
    }
    AppendReport(pane.report, "\r\n");
    AppendReport(pane.report, RefusalText(command, sw));
    return 0;
}

int SendCommand(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                std::span<const std::uint8_t> command, ApduResponse& response,
                StatusWordTakeover* takeover) {
    response.bytes.fill(0);
    response.length = kResponseCapacity;
    const int result =
        TransmitApdu(pane, card, sendPci, command, response.bytes, response.length, takeover);
    if (result == 0) {
        response.length = 0;
    }
    return result;
}

int SendInOrder(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                std::initializer_list<std::span<const std::uint8_t>> commands,
                ApduResponse& response) {
    for (const std::span<const std::uint8_t> command : commands) {
        if (SendCommand(pane, card, sendPci, command, response) == 0) {
            return 0;
        }
    }
    return 1;
}

void CopyResponseData(std::span<std::uint8_t> destination, const ApduResponse& response,
                      std::size_t positions) {
    const std::size_t count = std::min(destination.size(), positions);
    for (std::size_t i = 0; i < count; ++i) {
        destination[i] = response.DataAt(i);
    }
}

}  // namespace zebrik
