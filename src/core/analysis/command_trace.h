#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "core/ports/forwarding_resource_manager.h"

namespace zebrik {

// Where the lines of a command trace go, one at a time and without a line end. A sink
// passes each line on at once, so that a card that hangs shows the command it hangs on.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void WriteLine(std::string_view line) = 0;
};

// The command dialogue with every card, as the resource manager sees it go by:
//   READER > 00 A4 04 0C 06 D2 76 00 00 01 02      a command APDU
//   READER < 90 00                                 its answer
//   READER ! SCardTransmit 0x80100069 TEXT         a call that failed, with its German text
// READER is the name the card was connected with, or "-" for a call that names none.
// The data bytes of every command that carries a PIN or PUK (VERIFY, CHANGE, DISABLE,
// ENABLE, RESET RETRY COUNTER) show as "**" each: a trace is safe to hand on.
class TracingResourceManager : public ForwardingResourceManager {
public:
    TracingResourceManager(ResourceManager& inner, TraceSink& sink)
        : ForwardingResourceManager(inner), sink_(sink) {}

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
    // Writes the line of a failed call; hands the code back either way.
    ResultCode Checked(std::string_view reader, std::string_view call, ResultCode code);
    void WriteBytes(std::string_view reader, std::string_view direction,
                    std::span<const std::uint8_t> bytes, bool maskData);
    std::string_view ReaderOf(CardHandle card) const;

    TraceSink& sink_;
    std::map<CardHandle, std::string> readers_;  // open card handle -> its reader's name
};

}  // namespace zebrik
