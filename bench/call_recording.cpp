#include "call_recording.h"

#include <algorithm>

#include "core/report/text.h"

namespace zebrik::bench {
namespace {

std::uint32_t Room(std::uint32_t length, std::size_t capacity) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(length, capacity));
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

}  // namespace

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    AppendHexBytes(text, bytes);
    return text.empty() ? "-" : text;
}

std::string Hex(std::string_view text) {
    return Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void RecordingResourceManager::Line(const std::string& line) {
    if (std::fputs(line.c_str(), out_) < 0 || std::fputc('\n', out_) == EOF) {
        written_ = false;
    }
}

ResultCode RecordingResourceManager::EstablishContext(std::uint32_t scope, ContextHandle& context) {
    const ResultCode result = inner_.EstablishContext(scope, context);
    Line("establish " + Number(scope) + " => " + Number(result) + " " + Number(context));
    return result;
}

ResultCode RecordingResourceManager::ListReaders(ContextHandle context, std::span<char> readers,
                                                 std::uint32_t& length) {
    const std::uint32_t room = Room(length, readers.size());
    const ResultCode result = inner_.ListReaders(context, readers, length);
    Line("list-readers " + Number(context) + " " + Number(room) + " => " + Number(result) + " " +
         Number(length));
    return result;
}

ResultCode RecordingResourceManager::GetStatusChange(ContextHandle context, std::uint32_t timeout,
                                                     ReaderState& state) {
    const std::string call = "status-change " + Number(context) + " " + Number(timeout) + " " +
                             Number(state.currentState) + " " + Hex(state.reader);
    const ResultCode result = inner_.GetStatusChange(context, timeout, state);
    Line(call + " => " + Number(result) + " " + Number(state.eventState));
    return result;
}

ResultCode RecordingResourceManager::ListCards(ContextHandle context,
                                               std::span<const std::uint8_t> atr,
                                               std::span<char> names, std::uint32_t& length) {
    const std::uint32_t room = Room(length, names.size());
    const ResultCode result = inner_.ListCards(context, atr, names, length);
    Line("list-cards " + Number(context) + " " + Hex(atr) + " " + Number(room) + " => " +
         Number(result) + " " + Number(length));
    return result;
}

ResultCode RecordingResourceManager::Connect(ContextHandle context, const std::string& reader,
                                             std::uint32_t shareMode,
                                             std::uint32_t preferredProtocols, CardHandle& card,
                                             std::uint32_t& activeProtocol) {
    const ResultCode result =
        inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    Line("connect " + Number(context) + " " + Hex(reader) + " " + Number(shareMode) + " " +
         Number(preferredProtocols) + " => " + Number(result) + " " +
         Number(result == kScardSuccess ? card : 0) + " " +
         Number(result == kScardSuccess ? activeProtocol : 0));
    return result;
}

ResultCode RecordingResourceManager::Status(CardHandle card, std::span<char> readerName,
                                            std::uint32_t& readerNameLength, std::uint32_t& state,
                                            std::uint32_t& protocol, std::span<std::uint8_t> atr,
                                            std::uint32_t& atrLength) {
    const std::uint32_t nameRoom = Room(readerNameLength, readerName.size());
    const std::uint32_t atrRoom = Room(atrLength, atr.size());
    const ResultCode result =
        inner_.Status(card, readerName, readerNameLength, state, protocol, atr, atrLength);
    Line("status " + Number(card) + " " + Number(nameRoom) + " " + Number(atrRoom) + " => " +
         Number(result));
    return result;
}

ResultCode RecordingResourceManager::GetAttrib(CardHandle card, std::uint32_t attributeId,
                                               std::span<std::uint8_t> value,
                                               std::uint32_t& length) {
    const std::uint32_t room = Room(length, value.size());
    const ResultCode result = inner_.GetAttrib(card, attributeId, value, length);
    Line("get-attrib " + Number(card) + " " + Number(attributeId) + " " + Number(room) + " => " +
         Number(result) + " " + Number(result == kScardSuccess ? length : 0));
    return result;
}

ResultCode RecordingResourceManager::Transmit(CardHandle card, SendPci sendPci,
                                              std::span<const std::uint8_t> command,
                                              std::span<std::uint8_t> response,
                                              std::uint32_t& responseLength) {
    const std::uint32_t room = Room(responseLength, response.size());
    const ResultCode result = inner_.Transmit(card, sendPci, command, response, responseLength);
    Line("transmit " + Number(card) + (sendPci == SendPci::T0 ? " t0 " : " t1 ") + Hex(command) +
         " " + Number(room) + " => " + Number(result) + " " + Number(responseLength));
    return result;
}

ResultCode RecordingResourceManager::Disconnect(CardHandle card, std::uint32_t disposition) {
    const ResultCode result = inner_.Disconnect(card, disposition);
    Line("disconnect " + Number(card) + " " + Number(disposition) + " => " + Number(result));
    return result;
}

ResultCode RecordingResourceManager::ReleaseContext(ContextHandle context) {
    const ResultCode result = inner_.ReleaseContext(context);
    Line("release " + Number(context) + " => " + Number(result));
    return result;
}

}  // namespace zebrik::bench
