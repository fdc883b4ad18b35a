#include "sim/sim_resource_manager.h"

#include <algorithm>
#include <cstring>

namespace zebrik::sim {
namespace {

constexpr ResultCode kInvalidHandle = 0x80100003;
constexpr ResultCode kUnknownCard = 0x8010000D;
constexpr ResultCode kUnsupportedFeature = 0x80100022;
// pcsc-lite sets this with every answer; the analysis must look only at the flags it names.
constexpr std::uint32_t kStateChanged = 0x0002;
constexpr ContextHandle kContext = 0xC0FFEE;

// Hands a value out as the PC/SC calls do: into the buffer when it fits both the buffer
// and the length offered, else SCARD_E_INSUFFICIENT_BUFFER and the length it needs.
template <typename Value, typename T>
ResultCode HandOut(const Value& value, std::span<T> buffer, std::uint32_t& length) {
    const bool fits = value.size() <= buffer.size() && value.size() <= length;
    length = static_cast<std::uint32_t>(value.size());
    if (!fits) {
        return kScardEInsufficientBuffer;
    }
    std::copy(value.begin(), value.end(), buffer.begin());
    return kScardSuccess;
}

}  // namespace

Bytes NumberAttribute(std::uint32_t value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes TextAttribute(std::string_view text, bool countNul) {
    Bytes bytes(text.begin(), text.end());
    if (countNul) {
        bytes.push_back(0);
    }
    return bytes;
}

const char* CallName(Call call) {
    switch (call) {
        case Call::EstablishContext:
            return "EstablishContext";
        case Call::ListReaders:
            return "ListReaders";
        case Call::GetStatusChange:
            return "GetStatusChange";
        case Call::ListCards:
            return "ListCards";
        case Call::Connect:
            return "Connect";
        case Call::Status:
            return "Status";
        case Call::GetAttrib:
            return "GetAttrib";
        case Call::Transmit:
            return "Transmit";
        case Call::Disconnect:
            return "Disconnect";
        case Call::ReleaseContext:
            return "ReleaseContext";
    }
    return "?";
}

bool SimResourceManager::AllDisconnectsLeftCard() const {
    return std::all_of(calls_.begin(), calls_.end(), [](const CallRecord& record) {
        return record.call != Call::Disconnect || record.argument == kLeaveCard;
    });
}

ResultCode SimResourceManager::Enter(Call call, std::uint64_t handle, std::uint32_t argument) {
    const std::size_t index = calls_.size();
    ResultCode code = fault ? fault(call, index) : kScardSuccess;
    calls_.push_back({call, code, handle, argument});
    return code;
}

ResultCode SimResourceManager::Done(ResultCode result) {
    calls_.back().result = result;
    return result;
}

SimReader* SimResourceManager::ReaderOf(CardHandle card) {
    const auto open = open_.find(card);
    return open == open_.end() ? nullptr : FindReader(open->second);
}

SimReader* SimResourceManager::FindReader(const std::string& name) {
    for (SimReader& reader : readers) {
        if (reader.name == name) {
            return &reader;
        }
    }
    return nullptr;
}

ResultCode SimResourceManager::EstablishContext(std::uint32_t, ContextHandle& context) {
    if (ResultCode code = Enter(Call::EstablishContext, 0)) {
        return code;
    }
    contextOpen_ = true;
    context_ = kContext;
    context = context_;
    return kScardSuccess;
}

ResultCode SimResourceManager::ListReaders(ContextHandle context, std::span<char> buffer,
                                           std::uint32_t& length) {
    if (ResultCode code = Enter(Call::ListReaders, context)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    std::string list;
    for (const SimReader& reader : readers) {
        list += reader.name;
        list.push_back('\0');
    }
    list.push_back('\0');
    if (!contextOpen_ || context != context_) {
        result = kInvalidHandle;
    } else if (readers.empty()) {
        result = kScardENoReadersAvailable;
    } else {
        result = HandOut(list, buffer, length);
    }
    return Done(result);
}

ResultCode SimResourceManager::GetStatusChange(ContextHandle context, std::uint32_t,
                                               ReaderState& state) {
    if (ResultCode code = Enter(Call::GetStatusChange, context)) {
        return code;
    }
    SimReader* reader = FindReader(state.reader);
    ResultCode result = kScardSuccess;
    if (!contextOpen_ || context != context_) {
        result = kInvalidHandle;
    } else if (reader == nullptr || reader->vanished) {
        result = kScardEUnknownReader;
    } else {
        state.eventState =
            kStateChanged | reader->extraEventFlags | (reader->card ? kStatePresent : kStateEmpty);
        state.atrLength = 0;
        if (reader->card) {
            const Bytes& atr = reader->card->Description().atr;
            const std::size_t n = std::min(atr.size(), state.atr.size());
            std::copy_n(atr.begin(), n, state.atr.begin());
            state.atrLength = static_cast<std::uint32_t>(n);
        }
    }
    return Done(result);
}

ResultCode SimResourceManager::ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                                         std::span<char> names, std::uint32_t& length) {
    if (ResultCode code = Enter(Call::ListCards, context)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    const std::string list = cardNames ? cardNames(atr) : std::string();
    if (list.empty()) {
        result = kUnknownCard;
    } else {
        result = HandOut(list, names, length);
    }
    return Done(result);
}

ResultCode SimResourceManager::Connect(ContextHandle context, const std::string& name,
                                       std::uint32_t shareMode, std::uint32_t preferredProtocols,
                                       CardHandle& card, std::uint32_t& activeProtocol) {
    if (ResultCode code = Enter(Call::Connect, context, shareMode)) {
        return code;
    }
    SimReader* reader = FindReader(name);
    ResultCode result = kScardSuccess;
    if (!contextOpen_ || context != context_) {
        result = kInvalidHandle;
    } else if (reader == nullptr || reader->vanished) {
        result = kScardEReaderUnavailable;
    } else if (reader->connectResult != kScardSuccess) {
        result = reader->connectResult;
    } else if (shareMode != kShareDirect && !reader->card) {
        result = kScardENoSmartcard;
    } else if (shareMode != kShareDirect &&
               (reader->card->Description().protocol & preferredProtocols) == 0) {
        result = kScardEProtoMismatch;
    } else {
        card = nextHandle_++;
        open_[card] = name;
        calls_.back().connected = card;
        activeProtocol =
            shareMode == kShareDirect ? kProtocolUndefined : reader->card->Description().protocol;
    }
    return Done(result);
}

ResultCode SimResourceManager::Status(CardHandle card, std::span<char> readerName,
                                      std::uint32_t& readerNameLength, std::uint32_t& state,
                                      std::uint32_t& protocol, std::span<std::uint8_t> atr,
                                      std::uint32_t& atrLength) {
    if (ResultCode code = Enter(Call::Status, card)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    SimReader* reader = ReaderOf(card);
    if (reader == nullptr) {
        result = kInvalidHandle;
    } else if (reader->vanished) {
        result = kScardEReaderUnavailable;
    } else if (!reader->card) {
        result = kScardWRemovedCard;
    } else {
        const std::size_t nameLength =
            std::min<std::size_t>({reader->name.size() + 1, readerName.size(), readerNameLength});
        if (nameLength > 0) {
            std::memcpy(readerName.data(), reader->name.data(), nameLength - 1);
            readerName[nameLength - 1] = '\0';
        }
        readerNameLength = static_cast<std::uint32_t>(nameLength);
        const Bytes& cardAtr = reader->card->Description().atr;
        const std::size_t n = std::min<std::size_t>({cardAtr.size(), atr.size(), atrLength});
        std::copy_n(cardAtr.begin(), n, atr.begin());
        atrLength = static_cast<std::uint32_t>(n);
        state = reader->cardState;
        protocol = reader->card->Description().protocol;
    }
    return Done(result);
}

ResultCode SimResourceManager::GetAttrib(CardHandle card, std::uint32_t attributeId,
                                         std::span<std::uint8_t> value, std::uint32_t& length) {
    if (ResultCode code = Enter(Call::GetAttrib, card, attributeId)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    SimReader* reader = ReaderOf(card);
    if (reader == nullptr) {
        result = kInvalidHandle;
    } else {
        auto attribute = reader->attributes.find(attributeId);
        if (attribute == reader->attributes.end()) {
            result = kUnsupportedFeature;
        } else {
            result = HandOut(attribute->second, value, length);
        }
    }
    return Done(result);
}

ResultCode SimResourceManager::Transmit(CardHandle card, SendPci sendPci,
                                        std::span<const std::uint8_t> command,
                                        std::span<std::uint8_t> response,
                                        std::uint32_t& responseLength) {
    if (ResultCode code = Enter(Call::Transmit, card)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    SimReader* reader = ReaderOf(card);
    if (reader == nullptr) {
        result = kInvalidHandle;
    } else if (!reader->card) {
        result = kScardWRemovedCard;
    } else if ((sendPci == SendPci::T0 ? kProtocolT0 : kProtocolT1) !=
               reader->card->Description().protocol) {
        result = kScardEProtoMismatch;
    } else {
        result = HandOut(reader->card->Process(command), response, responseLength);
    }
    return Done(result);
}

ResultCode SimResourceManager::Disconnect(CardHandle card, std::uint32_t disposition) {
    if (ResultCode code = Enter(Call::Disconnect, card, disposition)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    auto open = open_.find(card);
    if (open == open_.end()) {
        result = kInvalidHandle;
    } else {
        const std::string name = open->second;
        open_.erase(open);
        if (disposition != kLeaveCard) {
            if (SimReader* reader = FindReader(name); reader && reader->card) {
                reader->card->Reset();
            }
        }
    }
    return Done(result);
}

ResultCode SimResourceManager::ReleaseContext(ContextHandle context) {
    if (ResultCode code = Enter(Call::ReleaseContext, context)) {
        return code;
    }
    ResultCode result = kScardSuccess;
    if (!contextOpen_ || context != context_) {
        result = kInvalidHandle;
    } else {
        contextOpen_ = false;
    }
    return Done(result);
}

}  // namespace zebrik::sim
