#include "core/analysis/command_trace.h"

#include <algorithm>

#include "core/report/pcsc_errors.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::string_view kNoReader = "-";
// CLA INS P1 P2 and the length byte stay readable in every command.
constexpr std::size_t kHeaderBytes = 5;

// VERIFY (20), CHANGE REFERENCE DATA (24), DISABLE (26) and ENABLE (28) VERIFICATION
// REQUIREMENT, RESET RETRY COUNTER (2C), each with its odd twin of ISO/IEC 7816-4, whatever
// the class byte: all of them may carry a PIN or PUK.
bool CarriesSecret(std::span<const std::uint8_t> command) {
    if (command.size() < 2) {
        return false;
    }
    const std::uint8_t ins = command[1] & 0xFE;
    return ins == 0x20 || ins == 0x24 || ins == 0x26 || ins == 0x28 || ins == 0x2C;
}

}  // namespace

ResultCode TracingResourceManager::Checked(std::string_view reader, std::string_view call,
                                           ResultCode code) {
    if (code != kScardSuccess) {
        std::string line;
        AppendUntrustedText(line, reader);
        line += Format(" ! SCard%.*s 0x%08X ", static_cast<int>(call.size()), call.data(), code);
        std::string text = PcscErrorText(code);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        line += text;
        sink_.WriteLine(line);
    }
    return code;
}

void TracingResourceManager::WriteBytes(std::string_view reader, std::string_view direction,
                                        std::span<const std::uint8_t> bytes, bool maskData) {
    std::string line;
    AppendUntrustedText(line, reader);
    line += direction;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        line += ' ';
        if (maskData && i >= kHeaderBytes) {
            line += "**";
        } else {
            AppendHexBytes(line, bytes.subspan(i, 1));
        }
    }
    sink_.WriteLine(line);
}

std::string_view TracingResourceManager::ReaderOf(CardHandle card) const {
    const auto found = readers_.find(card);
    return found == readers_.end() ? kNoReader : std::string_view(found->second);
}

ResultCode TracingResourceManager::EstablishContext(std::uint32_t scope, ContextHandle& context) {
    return Checked(kNoReader, "EstablishContext", inner_.EstablishContext(scope, context));
}

ResultCode TracingResourceManager::ListReaders(ContextHandle context, std::span<char> readers,
                                               std::uint32_t& length) {
    return Checked(kNoReader, "ListReaders", inner_.ListReaders(context, readers, length));
}

ResultCode TracingResourceManager::GetStatusChange(ContextHandle context, std::uint32_t timeout,
                                                   ReaderState& state) {
    const std::string reader = state.reader;
    return Checked(reader, "GetStatusChange", inner_.GetStatusChange(context, timeout, state));
}

ResultCode TracingResourceManager::ListCards(ContextHandle context,
                                             std::span<const std::uint8_t> atr,
                                             std::span<char> names, std::uint32_t& length) {
    return Checked(kNoReader, "ListCards", inner_.ListCards(context, atr, names, length));
}

ResultCode TracingResourceManager::Connect(ContextHandle context, const std::string& reader,
                                           std::uint32_t shareMode,
                                           std::uint32_t preferredProtocols, CardHandle& card,
                                           std::uint32_t& activeProtocol) {
    const ResultCode code =
        inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    if (code == kScardSuccess) {
        readers_[card] = reader;
    }
    return Checked(reader, "Connect", code);
}

ResultCode TracingResourceManager::Status(CardHandle card, std::span<char> readerName,
                                          std::uint32_t& readerNameLength, std::uint32_t& state,
                                          std::uint32_t& protocol, std::span<std::uint8_t> atr,
                                          std::uint32_t& atrLength) {
    return Checked(
        ReaderOf(card), "Status",
        inner_.Status(card, readerName, readerNameLength, state, protocol, atr, atrLength));
}

ResultCode TracingResourceManager::GetAttrib(CardHandle card, std::uint32_t attributeId,
                                             std::span<std::uint8_t> value, std::uint32_t& length) {
    return Checked(ReaderOf(card), "GetAttrib", inner_.GetAttrib(card, attributeId, value, length));
}

ResultCode TracingResourceManager::Transmit(CardHandle card, SendPci sendPci,
                                            std::span<const std::uint8_t> command,
                                            std::span<std::uint8_t> response,
                                            std::uint32_t& responseLength) {
    const std::string_view reader = ReaderOf(card);
    // Written before the card answers: a card that never does shows what it got last.
    WriteBytes(reader, " >", command, CarriesSecret(command));
    const ResultCode code = inner_.Transmit(card, sendPci, command, response, responseLength);
    if (code == kScardSuccess) {
        const std::size_t received = std::min<std::size_t>(responseLength, response.size());
        WriteBytes(reader, " <", response.first(received), false);
    }
    return Checked(reader, "Transmit", code);
}

ResultCode TracingResourceManager::Disconnect(CardHandle card, std::uint32_t disposition) {
    const ResultCode code =
        Checked(ReaderOf(card), "Disconnect", inner_.Disconnect(card, disposition));
    readers_.erase(card);
    return code;
}

ResultCode TracingResourceManager::ReleaseContext(ContextHandle context) {
    return Checked(kNoReader, "ReleaseContext", inner_.ReleaseContext(context));
}

}  // namespace zebrik
