#pragma once

#include <cstdio>
#include <string_view>

#include "cli/console.h"
#include "cli/line_ends.h"
#include "core/ports/forwarding_resource_manager.h"
#include "core/ports/report.h"

namespace zebrik::cli {

// The report on a stream, as UTF-8 with "\n" line ends (on Windows with its own "\r\n").
// The pieces wait in the stream's buffer until the program is about to wait itself - for
// pcscd, a reader or a card (FlushBeforeEachCall) or for the user (TerminalPinPrompt) - so
// a slow card shows its progress line by line and the text before a PIN prompt is on the
// screen when the prompt asks, with one write for all the lines between two waits rather
// than one for each.
class StreamReport : public Report {
public:
    StreamReport(std::FILE* stream, bool keepLineEnds)
        : stream_(stream), keepLineEnds_(keepLineEnds), console_(IsConsole(stream)) {}

    // A run starts with nothing written yet, so there is nothing to empty.
    void Clear() override {}
    void Append(std::string_view utf8Text) override;
    // Nothing on a stream can be selected.
    void DropSelection() override {}

    // Writes what the buffer holds.
    void Flush();
    // Writes what is held back; call once the run has ended.
    void Finish();
    // Whether every piece reached the stream (a full disk, a closed pipe: not).
    bool Written() const { return written_; }

private:
    void Write(std::string_view text);

    std::FILE* stream_;
    bool keepLineEnds_;
    bool console_;  // asked once, not for every piece
    LineEndConverter lineEnds_;
    bool written_ = true;
};

// The resource manager of a run that writes into a StreamReport: before each call, which
// may wait for pcscd, a reader or a card, what the report holds goes out.
class FlushBeforeEachCall final : public ForwardingResourceManager {
public:
    FlushBeforeEachCall(ResourceManager& inner, StreamReport& report)
        : ForwardingResourceManager(inner), report_(report) {}

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override {
        report_.Flush();
        return inner_.EstablishContext(scope, context);
    }
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override {
        report_.Flush();
        return inner_.ListReaders(context, readers, length);
    }
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override {
        report_.Flush();
        return inner_.GetStatusChange(context, timeout, state);
    }
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        report_.Flush();
        return inner_.ListCards(context, atr, names, length);
    }
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferredProtocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override {
        report_.Flush();
        return inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    }
    ResultCode Status(CardHandle card, std::span<char> readerName, std::uint32_t& readerNameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        report_.Flush();
        return inner_.Status(card, readerName, readerNameLength, state, protocol, atr, atrLength);
    }
    ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        report_.Flush();
        return inner_.GetAttrib(card, attributeId, value, length);
    }
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override {
        report_.Flush();
        return inner_.Transmit(card, sendPci, command, response, responseLength);
    }
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override {
        report_.Flush();
        return inner_.Disconnect(card, disposition);
    }
    ResultCode ReleaseContext(ContextHandle context) override {
        report_.Flush();
        return inner_.ReleaseContext(context);
    }

private:
    StreamReport& report_;
};

}  // namespace zebrik::cli
