#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/pin_prompt.h"
#include "core/ports/report.h"
#include "core/ports/resource_manager.h"
#include "fuzz_input.h"

// The fakes the fuzz targets run the analysis against. Every answer comes from the fuzz
// input; every rule the analysis must keep is checked as it happens, and a broken rule
// ends the run as a finding (abort), just like a crash.
namespace zebrik::fuzz {

// Prints what rule was broken and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Finding(const char* what);

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// A report pane that keeps nothing and checks every piece of text: no NUL byte, and
// well-formed UTF-8 whatever bytes the resource manager and the card hand over.
class CheckedReport : public Report {
public:
    void Clear() override {}
    void Append(std::string_view text) override;
    void DropSelection() override {}

    std::size_t appended = 0;
};

// Watches the only commands that change a card: VERIFY CHV1 and UNBLOCK CHV1 may go out
// only as the first transmission after a confirmed prompt of their kind, once, and carry
// exactly what was typed (at most 8 characters, FF up to 8 bytes).
class PinWatch {
public:
    void PinConfirmed(std::string_view pin);
    void PukConfirmed(std::string_view puk, std::string_view newPin);
    void Cancelled() { expected_.clear(); }
    void Transmitted(std::span<const std::uint8_t> command);

    std::size_t verifySent = 0;
    std::size_t unblockSent = 0;

private:
    std::vector<std::uint8_t> expected_;  // the one command the last confirmation allows
};

// A card holder who answers from the fuzz input: one chunk per prompt, byte 0 bit 0
// confirms, bytes 1 to 8 are the PIN (or the PUK), bytes 9 to 16 the new PIN, each cut at
// its first NUL. Never more than 8 characters, as the dialogs allow. No chunk left: cancel.
class FuzzPinPrompt : public PinPrompt {
public:
    FuzzPinPrompt(ChunkReader& input, PinWatch& watch) : input_(input), watch_(watch) {}
    bool AskPin(PinEntryBuffer& buffer) override;
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override;

private:
    ChunkReader& input_;
    PinWatch& watch_;
};

// The answer to one transmission from the next chunk: the response bytes as far as the
// caller's buffer holds them, the length the chunk claims (or the bytes it carries, which
// may be more than the buffer), or the result code it names. No chunk left: 6D 00.
ResultCode AnswerTransmit(ChunkReader& input, std::span<std::uint8_t> response,
                          std::uint32_t& responseLength);

// A card behind a connection that the dispatch talks to. The dispatch may only transmit.
class FuzzCard : public ResourceManager {
public:
    FuzzCard(ChunkReader& input, PinWatch& watch) : input_(input), watch_(watch) {}

    static constexpr CardHandle kHandle = 0x5A5A;

    ResultCode EstablishContext(std::uint32_t, ContextHandle&) override { Unexpected(); }
    ResultCode ListReaders(ContextHandle, std::span<char>, std::uint32_t&) override {
        Unexpected();
    }
    ResultCode GetStatusChange(ContextHandle, std::uint32_t, ReaderState&) override {
        Unexpected();
    }
    ResultCode ListCards(ContextHandle, std::span<const std::uint8_t>, std::span<char>,
                         std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Connect(ContextHandle, const std::string&, std::uint32_t, std::uint32_t, CardHandle&,
                       std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Status(CardHandle, std::span<char>, std::uint32_t&, std::uint32_t&, std::uint32_t&,
                      std::span<std::uint8_t>, std::uint32_t&) override {
        Unexpected();
    }
    ResultCode GetAttrib(CardHandle, std::uint32_t, std::span<std::uint8_t>,
                         std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override;
    ResultCode Disconnect(CardHandle, std::uint32_t) override { Unexpected(); }
    ResultCode ReleaseContext(ContextHandle) override { Unexpected(); }

    std::size_t transmissions = 0;

private:
    [[noreturn]] static void Unexpected() { Finding("the dispatch called more than Transmit"); }

    ChunkReader& input_;
    PinWatch& watch_;
};

// A whole resource manager from the fuzz input: one chunk per call, with the values of
// each call as listed at AnalysisValueCount. Keeps the books on the context and on every
// connection: no call on a closed handle, every connection closed with SCARD_LEAVE_CARD,
// the context released.
class FuzzResourceManager : public ResourceManager {
public:
    FuzzResourceManager(ChunkReader& input, PinWatch& watch) : input_(input), watch_(watch) {}

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

    // After the run: the context released, no connection left open, and every reader of
    // the list asked for its state, in the order of the list.
    void CheckAllClosed() const;

private:
    Answer Next(std::size_t valueCount);
    void RequireContext(ContextHandle context) const;
    void RequireOpen(CardHandle card) const;

    ChunkReader& input_;
    PinWatch& watch_;
    bool contextOpen_ = false;
    bool contextEverOpened_ = false;
    ContextHandle context_ = 0;
    std::set<CardHandle> open_;
    std::vector<std::string> listed_;  // the reader names as the list holds them
    std::size_t visited_ = 0;
    CardHandle nextHandle_ = 0x100;
};

}  // namespace zebrik::fuzz
