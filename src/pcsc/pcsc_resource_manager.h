#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "core/ports/resource_manager.h"
#include "pcsc/card_names.h"

namespace zebrik {

// The resource manager over pcsc-lite (pcscd), or in the Windows build over WinSCard.
class PcscResourceManager : public ResourceManager {
public:
    // pcsc-lite keeps no card database (it has no SCardListCards); the card names come from
    // pcsc-tools' ATR list instead, looked up in it for each card. Windows has the database
    // and takes its names from there.
    explicit PcscResourceManager(std::string cardList = std::string(kDebianSmartcardList))
        : cardList_(std::move(cardList)) {}

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override;
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override;
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override;
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override;
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferredProtocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override;
    ResultCode Status(CardHandle card, std::span<char> readerName, std::uint32_t& readerNameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override;
    ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId, std::span<std::uint8_t> value,
                         std::uint32_t& length) override;
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override;
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override;
    ResultCode ReleaseContext(ContextHandle context) override;

private:
    std::string cardList_;
};

}  // namespace zebrik
