#include "core/apdu/cardholder.h"

#include <algorithm>
#include <cstring>
#include <string.h>  // explicit_bzero

#include "core/analysis/pcsc_errors.h"

namespace zebrik {
namespace {

constexpr std::size_t kChvFieldLength = 8;
// The prompts' own commands get a small local answer buffer.
constexpr std::uint32_t kPromptResponseCapacity = 48;

// The typed characters as they are, at most 8, then FF up to 8 bytes.
void PutChvField(std::uint8_t* field, const char* text) {
    const std::size_t length = strnlen(text, kMaxPinLength);
    for (std::size_t i = 0; i < kChvFieldLength; ++i) {
        field[i] = i < length ? static_cast<std::uint8_t>(text[i]) : 0xFF;
    }
}

// Sends VERIFY or UNBLOCK and wipes it; the card's answer decides the outcome.
template <std::size_t N>
PromptResult SendChvCommand(ReportPane& pane, const CardConnection& card, SendPci sendPci,
                            std::array<std::uint8_t, N>& command) {
    std::array<std::uint8_t, kPromptResponseCapacity> response{};
    std::uint32_t length = kPromptResponseCapacity;
    const ResultCode code = card.manager.Transmit(card.handle, sendPci, command, response, length);
    SecureWipe(command.data(), command.size());
    if (code != kScardSuccess) {
        ReportPcscError(pane, code);
        return {PromptOutcome::Stop, 0};
    }
    length = std::min<std::uint32_t>(length, kPromptResponseCapacity);
    // An answer without status bytes reads as 00 00, which the caller reports as unexpected.
    const StatusWord sw =
        length >= 2 ? MakeStatusWord(response[length - 2], response[length - 1]) : 0x0000;
    if (IsSuccess(sw)) {
        return {PromptOutcome::Repeat, sw};
    }
    return {PromptOutcome::StatusWord, sw};
}

}  // namespace

void SecureWipe(void* data, std::size_t size) { explicit_bzero(data, size); }

std::array<std::uint8_t, 13> BuildVerifyChv1(const PinEntryBuffer& entry) {
    std::array<std::uint8_t, 13> command = {0xA0, 0x20, 0x00, 0x01, 0x08};
    PutChvField(command.data() + 5, entry.pin.data());
    return command;
}

std::array<std::uint8_t, 21> BuildUnblockChv1(const PinUnblockBuffer& entry) {
    std::array<std::uint8_t, 21> command = {0xA0, 0x2C, 0x00, 0x00, 0x10};
    PutChvField(command.data() + 5, entry.Puk());
    PutChvField(command.data() + 13, entry.NewPin());
    return command;
}

PromptResult VerifyCardHolder(ReportPane& pane, const CardConnection& card, SendPci sendPci) {
    AppendReport(pane.report, "\r\nBitte PIN eingeben...\r\n");
    PinEntryBuffer entry;
    entry.pin[0] = '\0';
    const bool confirmed = pane.prompt.AskPin(entry);
    pane.report.DropSelection();
    if (!confirmed) {
        SecureWipe(entry.pin.data(), entry.pin.size());
        AppendReport(pane.report, "Abgebrochen\r\n");
        return {PromptOutcome::Stop, 0};
    }
    auto command = BuildVerifyChv1(entry);
    SecureWipe(entry.pin.data(), entry.pin.size());
    return SendChvCommand(pane, card, sendPci, command);
}

PromptResult UnblockCardHolder(ReportPane& pane, const CardConnection& card, SendPci sendPci) {
    AppendReport(pane.report, "\r\nBitte PUK eingeben...\r\n");
    PinUnblockBuffer entry;
    entry.Puk()[0] = '\0';
    entry.NewPin()[0] = '\0';
    const bool confirmed = pane.prompt.AskPukAndNewPin(entry);
    pane.report.DropSelection();
    if (!confirmed) {
        SecureWipe(entry.bytes.data(), entry.bytes.size());
        AppendReport(pane.report, "Abgebrochen\r\n");
        return {PromptOutcome::Stop, 0};
    }
    auto command = BuildUnblockChv1(entry);
    SecureWipe(entry.bytes.data(), entry.bytes.size());
    return SendChvCommand(pane, card, sendPci, command);
}

}  // namespace zebrik
