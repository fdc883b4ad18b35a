#include "fuzz_fakes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zebrik::fuzz {
namespace {

constexpr std::uint8_t kClaGsm = 0xA0;
constexpr std::uint8_t kInsVerify = 0x20;
constexpr std::uint8_t kInsUnblock = 0x2C;

// The typed text as a dialog hands it over: up to the first NUL, at most 8 characters.
std::string TypedText(std::span<const std::uint8_t> body, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < body.size() && i < from + kMaxPinLength && body[i] != 0; ++i) {
        text.push_back(static_cast<char>(body[i]));
    }
    return text;
}

void PutText(char* target, const std::string& text) {
    std::memcpy(target, text.data(), text.size());  // at most 8 bytes, then the NUL
    target[text.size()] = '\0';
}

// The 8-byte CHV field, written out here rather than taken from the code under test.
void AppendChvField(std::vector<std::uint8_t>& command, std::string_view text) {
    for (std::size_t i = 0; i < 8; ++i) {
        command.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0xFF);
    }
}

template <typename Char>
void CopyOut(std::span<const std::uint8_t> data, std::span<Char> buffer, std::uint32_t offered) {
    const std::size_t n = std::min<std::size_t>({data.size(), buffer.size(), offered});
    if (n > 0) {
        std::memcpy(buffer.data(), data.data(), n);
    }
}

std::uint32_t ReportedLength(const Answer& answer) {
    return answer.claimedLength.value_or(static_cast<std::uint32_t>(answer.data.size()));
}

}  // namespace

void Finding(const char* what) {
    std::fprintf(stderr, "==zebrik-fuzz== rule broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t value = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            value = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        const bool overlong = (extra == 2 && value < 0x800) || (extra == 3 && value < 0x10000);
        if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

void CheckedReport::Append(std::string_view text) {
    // ZEBRIK_FUZZ_REPORT=1 shows the report of an input, for looking into a finding.
    static const bool show = std::getenv("ZEBRIK_FUZZ_REPORT") != nullptr;
    if (show) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    appended += text.size();
    if (text.find('\0') != std::string_view::npos) {
        Finding("a NUL byte in the report");
    }
    if (!IsValidUtf8(text)) {
        Finding("report text that is not UTF-8");
    }
}

void PinWatch::PinConfirmed(std::string_view pin) {
    expected_ = {kClaGsm, kInsVerify, 0x00, 0x01, 0x08};
    AppendChvField(expected_, pin);
}

void PinWatch::PukConfirmed(std::string_view puk, std::string_view newPin) {
    expected_ = {kClaGsm, kInsUnblock, 0x00, 0x00, 0x10};
    AppendChvField(expected_, puk);
    AppendChvField(expected_, newPin);
}

void PinWatch::Transmitted(std::span<const std::uint8_t> command) {
    const bool changesCard = command.size() >= 2 && command[0] == kClaGsm &&
                             (command[1] == kInsVerify || command[1] == kInsUnblock);
    if (changesCard) {
        if (expected_.empty()) {
            Finding("VERIFY or UNBLOCK without a confirmed prompt just before it");
        }
        if (!std::equal(command.begin(), command.end(), expected_.begin(), expected_.end())) {
            Finding("VERIFY or UNBLOCK that does not carry exactly what was typed");
        }
        (command[1] == kInsVerify ? verifySent : unblockSent) += 1;
    }
    // A confirmation allows one command, and only the very next one.
    expected_.clear();
}

bool FuzzPinPrompt::AskPin(PinEntryBuffer& buffer) {
    if (buffer.pin[0] != '\0') {
        Finding("the PIN field did not start empty");
    }
    const auto body = input_.NextBody();
    if (!body || body->empty() || ((*body)[0] & 1) == 0) {
        watch_.Cancelled();
        return false;
    }
    const std::string pin = TypedText(*body, 1);
    PutText(buffer.pin.data(), pin);
    watch_.PinConfirmed(pin);
    return true;
}

bool FuzzPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    if (buffer.Puk()[0] != '\0' || buffer.NewPin()[0] != '\0') {
        Finding("the PUK fields did not start empty");
    }
    const auto body = input_.NextBody();
    if (!body || body->empty() || ((*body)[0] & 1) == 0) {
        watch_.Cancelled();
        return false;
    }
    const std::string puk = TypedText(*body, 1);
    const std::string newPin = TypedText(*body, 1 + kMaxPinLength);
    PutText(buffer.Puk(), puk);
    PutText(buffer.NewPin(), newPin);
    watch_.PukConfirmed(puk, newPin);
    return true;
}

ResultCode AnswerTransmit(ChunkReader& input, std::span<std::uint8_t> response,
                          std::uint32_t& responseLength) {
    const auto answer = input.Next(0);
    if (!answer) {
        // The card knows no more: every run ends.
        constexpr std::uint8_t kInsNotSupported[] = {0x6D, 0x00};
        CopyOut(std::span<const std::uint8_t>(kInsNotSupported), response, responseLength);
        responseLength = 2;
        return kScardSuccess;
    }
    if (answer->code != kScardSuccess) {
        return answer->code;
    }
    CopyOut(answer->data, response, responseLength);
    responseLength = ReportedLength(*answer);
    return kScardSuccess;
}

ResultCode FuzzCard::Transmit(CardHandle card, SendPci, std::span<const std::uint8_t> command,
                              std::span<std::uint8_t> response, std::uint32_t& responseLength) {
    if (card != kHandle) {
        Finding("a transmission on another handle than the dispatch was given");
    }
    if (command.size() < 4 || command.size() > 261) {
        Finding("a command APDU of impossible length");
    }
    ++transmissions;
    watch_.Transmitted(command);
    return AnswerTransmit(input_, response, responseLength);
}

Answer FuzzResourceManager::Next(std::size_t valueCount) {
    return input_.Next(valueCount).value_or(Answer{});
}

void FuzzResourceManager::RequireContext(ContextHandle context) const {
    if (!contextOpen_ || context != context_) {
        Finding("a call with a context that is not open");
    }
}

void FuzzResourceManager::RequireOpen(CardHandle card) const {
    if (open_.count(card) == 0) {
        Finding("a call on a card handle that is not connected");
    }
}

void FuzzResourceManager::CheckAllClosed() const {
    if (contextOpen_) {
        Finding("the context was not released");
    }
    if (!open_.empty()) {
        Finding("a connection was left open");
    }
    if (visited_ != listed_.size()) {
        Finding("a reader of the list was left out");
    }
}

ResultCode FuzzResourceManager::EstablishContext(std::uint32_t, ContextHandle& context) {
    if (contextEverOpened_) {
        Finding("a second context in one run");
    }
    const Answer answer = Next(0);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    contextOpen_ = true;
    contextEverOpened_ = true;
    context_ = 0xC0FFEE;
    context = context_;
    return kScardSuccess;
}

ResultCode FuzzResourceManager::ListReaders(ContextHandle context, std::span<char> readers,
                                            std::uint32_t& length) {
    RequireContext(context);
    const Answer answer = Next(0);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    CopyOut(answer.data, readers, length);
    length = ReportedLength(answer);
    // The names the caller can see: up to the length given back and the buffer's end, each
    // ended by a NUL or the end, the list by an empty name.
    std::string name;
    for (const char c : readers.first(std::min<std::size_t>(length, readers.size()))) {
        if (c != '\0') {
            name += c;
        } else if (name.empty()) {
            break;
        } else {
            listed_.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty()) {
        listed_.push_back(std::move(name));
    }
    return kScardSuccess;
}

ResultCode FuzzResourceManager::GetStatusChange(ContextHandle context, std::uint32_t,
                                                ReaderState& state) {
    RequireContext(context);
    if (state.currentState != kStateUnaware) {
        Finding("a state query that would wait for a change");
    }
    if (visited_ >= listed_.size() || state.reader != listed_[visited_]) {
        Finding("a reader asked for out of the order of the list, or one not listed");
    }
    ++visited_;
    const Answer answer = Next(kStatusChangeValues);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    state.eventState = answer.values[0];
    CopyOut(answer.data, std::span<std::uint8_t>(state.atr), kMaxAtrLength);
    state.atrLength = ReportedLength(answer);
    return kScardSuccess;
}

ResultCode FuzzResourceManager::ListCards(ContextHandle context, std::span<const std::uint8_t>,
                                          std::span<char> names, std::uint32_t& length) {
    RequireContext(context);
    const Answer answer = Next(0);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    CopyOut(answer.data, names, length);
    length = ReportedLength(answer);
    return kScardSuccess;
}

ResultCode FuzzResourceManager::Connect(ContextHandle context, const std::string&,
                                        std::uint32_t shareMode, std::uint32_t preferredProtocols,
                                        CardHandle& card, std::uint32_t& activeProtocol) {
    RequireContext(context);
    if (!(shareMode == kShareShared && preferredProtocols == (kProtocolT0 | kProtocolT1)) &&
        !(shareMode == kShareDirect && preferredProtocols == kProtocolUndefined)) {
        Finding("a connection with another share mode or protocols than shared T=0|T=1 or direct");
    }
    const Answer answer = Next(kConnectValues);
    // A hostile driver may hand out a handle even with a failure; such a handle is not
    // open and must not be used.
    card = answer.values[0] == 0 ? 0 : nextHandle_++;
    activeProtocol = answer.values[1];
    if (answer.code == kScardSuccess && card != 0) {
        open_.insert(card);
    }
    return answer.code;
}

ResultCode FuzzResourceManager::Status(CardHandle card, std::span<char> readerName,
                                       std::uint32_t& readerNameLength, std::uint32_t& state,
                                       std::uint32_t& protocol, std::span<std::uint8_t> atr,
                                       std::uint32_t& atrLength) {
    RequireOpen(card);
    const Answer answer = Next(kStatusValues);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    state = answer.values[0];
    protocol = answer.values[1];
    CopyOut(answer.data, readerName, readerNameLength);
    CopyOut(answer.data, atr, atrLength);
    readerNameLength = ReportedLength(answer);
    atrLength = ReportedLength(answer);
    return kScardSuccess;
}

ResultCode FuzzResourceManager::GetAttrib(CardHandle card, std::uint32_t,
                                          std::span<std::uint8_t> value, std::uint32_t& length) {
    RequireOpen(card);
    const Answer answer = Next(0);
    if (answer.code != kScardSuccess) {
        return answer.code;
    }
    CopyOut(answer.data, value, length);
    length = ReportedLength(answer);
    return kScardSuccess;
}

ResultCode FuzzResourceManager::Transmit(CardHandle card, SendPci,
                                         std::span<const std::uint8_t> command,
                                         std::span<std::uint8_t> response,
                                         std::uint32_t& responseLength) {
    RequireOpen(card);
    if (command.size() < 4 || command.size() > 261) {
        Finding("a command APDU of impossible length");
    }
    watch_.Transmitted(command);
    return AnswerTransmit(input_, response, responseLength);
}

ResultCode FuzzResourceManager::Disconnect(CardHandle card, std::uint32_t disposition) {
    RequireOpen(card);
    if (disposition != kLeaveCard) {
        Finding("a connection closed otherwise than with SCARD_LEAVE_CARD");
    }
    open_.erase(card);
    return Next(0).code;
}

ResultCode FuzzResourceManager::ReleaseContext(ContextHandle context) {
    RequireContext(context);
    if (!open_.empty()) {
        Finding("the context released while a connection is still open");
    }
    contextOpen_ = false;
    return Next(0).code;
}

}  // namespace zebrik::fuzz
