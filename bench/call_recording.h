#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "core/ports/forwarding_resource_manager.h"

// The resource-manager calls of one analysis run, one line each, as zebrik_bench_record
// writes them and zebrik_bench_replay --calls plays them back:
//
//   establish SCOPE => RESULT CONTEXT
//   list-readers CONTEXT ROOM => RESULT LENGTH
//   status-change CONTEXT TIMEOUT CURRENT READER => RESULT EVENT
//   list-cards CONTEXT ATR ROOM => RESULT LENGTH
//   connect CONTEXT READER SHARE PROTOCOLS => RESULT CARD PROTOCOL
//   status CARD NAME_ROOM ATR_ROOM => RESULT
//   get-attrib CARD ATTRIBUTE ROOM => RESULT LENGTH
//   transmit CARD t0|t1 COMMAND ROOM => RESULT LENGTH
//   disconnect CARD DISPOSITION => RESULT
//   release CONTEXT => RESULT
//
// Numbers are decimal; READER, ATR and COMMAND are hexadecimal bytes without blanks ("-"
// for none), so that any reader name fits on the line. A ROOM is the room pcsc-lite is
// offered: the pcsc-lite adapter offers the smaller of the caller's length and its buffer.
// What follows "=>" is what the call gave back: the replay checks it, it sends none of it.
// Handles are the ones of the recorded run; the replay puts its own in their place.
namespace zebrik::bench {

// Records every call on its way through to the resource manager around which it sits.
class RecordingResourceManager final : public ForwardingResourceManager {
public:
    RecordingResourceManager(ResourceManager& inner, std::FILE* out)
        : ForwardingResourceManager(inner), out_(out) {}

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

    // False once a line could not be written.
    bool Written() const { return written_; }

private:
    void Line(const std::string& line);

    std::FILE* out_;
    bool written_ = true;
};

// Bytes as hexadecimal digits without blanks; "-" for none.
std::string Hex(std::span<const std::uint8_t> bytes);
std::string Hex(std::string_view text);

}  // namespace zebrik::bench
