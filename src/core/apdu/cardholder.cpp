#include "core/apdu/cardholder.h"

#include <cstring>

namespace zebrik {
namespace {

constexpr std::size_t kChvFieldLength = 8;

// The typed characters as they are, at most 8, then FF up to 8 bytes.
void PutChvField(std::uint8_t* field, const char* text) {
    const std::size_t length = strnlen(text, kMaxPinLength);
    for (std::size_t i = 0; i < kChvFieldLength; ++i) {
        field[i] = i < length ? static_cast<std::uint8_t>(text[i]) : 0xFF;
    }
}

PromptResult Cancelled(ReportAndPrompt& pane) {
    AppendReport(pane.report, "Abgebrochen\r\n");
    return {PromptOutcome::Stop, 0};
}

// Sends the command and wipes it; the card's answer decides the outcome.
template <std::size_t N>
PromptResult SendChv(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                     std::array<std::uint8_t, N>& command, const ChvRules& rules) {
    const std::optional<StatusWord> sw =
        SendForStatusWord(pane, card, sendPci, command, rules.answerRoom);
    SecureWipe(command.data(), command.size());
    if (!sw) {
        return {PromptOutcome::Stop, 0};
    }
    const bool accepted = *sw == 0x9000 || (rules.ninetyOneAccepts && *sw == 0x9001);
    return {accepted ? PromptOutcome::Accepted : PromptOutcome::StatusWord, *sw};
}

PromptResult AskAndVerify(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                          const ChvRules& rules) {
    AppendReport(pane.report, "\r\nBitte PIN eingeben...\r\n");
    PinEntryBuffer entry;
    entry.pin[0] = '\0';
    const bool confirmed = pane.prompt.AskPin(entry);
    pane.report.DropSelection();
    if (!confirmed || (rules.emptyEntryCancels && entry.pin[0] == '\0')) {
        SecureWipe(entry.pin.data(), entry.pin.size());
        return Cancelled(pane);
    }
    auto command = BuildVerifyChv1(entry, rules.keyReference);
    SecureWipe(entry.pin.data(), entry.pin.size());
    return SendChv(pane, card, sendPci, command, rules);
}

PromptResult AskAndUnblock(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                           const ChvRules& rules) {
    AppendReport(pane.report, "\r\nBitte PUK eingeben...\r\n");
    PinUnblockBuffer entry;
    entry.Puk()[0] = '\0';
    entry.NewPin()[0] = '\0';
    const bool confirmed = pane.prompt.AskPukAndNewPin(entry);
    pane.report.DropSelection();
    const bool empty = entry.Puk()[0] == '\0' || entry.NewPin()[0] == '\0';
    if (!confirmed || (rules.emptyEntryCancels && empty)) {
        SecureWipe(entry.bytes.data(), entry.bytes.size());
        return Cancelled(pane);
    }
    auto command = BuildUnblockChv1(entry, rules.keyReference);
    SecureWipe(entry.bytes.data(), entry.bytes.size());
    return SendChv(pane, card, sendPci, command, rules);
}

}  // namespace

std::array<std::uint8_t, 13> BuildVerifyChv1(const PinEntryBuffer& entry,
                                             std::uint8_t keyReference) {
    std::array<std::uint8_t, 13> command = {0xA0, 0x20, 0x00, 0x01, 0x08};
    if (keyReference != 0) {
        command[0] = 0x00;
        command[3] = keyReference;
    }
    PutChvField(command.data() + 5, entry.pin.data());
    return command;
}

std::array<std::uint8_t, 21> BuildUnblockChv1(const PinUnblockBuffer& entry,
                                              std::uint8_t keyReference) {
    std::array<std::uint8_t, 21> command = {0xA0, 0x2C, 0x00, 0x00, 0x10};
    if (keyReference != 0) {
        command[0] = 0x00;
        command[3] = keyReference;
    }
    PutChvField(command.data() + 5, entry.Puk());
    PutChvField(command.data() + 13, entry.NewPin());
    return command;
}

PromptResult AskCardHolder(ReportAndPrompt& pane, const CardConnection& card, SendPci sendPci,
                           ChvCommand command, const ChvRules& rules) {
    return command == ChvCommand::Verify ? AskAndVerify(pane, card, sendPci, rules)
                                         : AskAndUnblock(pane, card, sendPci, rules);
}

}  // namespace zebrik
