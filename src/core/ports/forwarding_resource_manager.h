#pragma once

#include "core/ports/resource_manager.h"

namespace zebrik {

// A resource manager that hands every call on to another one. Decorators that watch the
// calls go by (a command trace, a recording for the benchmark) override only what they
// look at.
class ForwardingResourceManager : public ResourceManager {
public:
    explicit ForwardingResourceManager(ResourceManager& inner) : inner_(inner) {}

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override {
        return inner_.EstablishContext(scope, context);
    }
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override {
        return inner_.ListReaders(context, readers, length);
    }
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override {
        return inner_.GetStatusChange(context, timeout, state);
    }
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        return inner_.ListCards(context, atr, names, length);
    }
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferredProtocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override {
        return inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    }
    ResultCode Status(CardHandle card, std::span<char> readerName, std::uint32_t& readerNameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        return inner_.Status(card, readerName, readerNameLength, state, protocol, atr, atrLength);
    }
    ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        return inner_.GetAttrib(card, attributeId, value, length);
    }
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override {
        return inner_.Transmit(card, sendPci, command, response, responseLength);
    }
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override {
        return inner_.Disconnect(card, disposition);
    }
    ResultCode ReleaseContext(ContextHandle context) override {
        return inner_.ReleaseContext(context);
    }

protected:
    ResourceManager& inner_;
};

}  // namespace zebrik
