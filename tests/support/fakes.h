#pragma once

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/analysis/command_trace.h"
#include "core/apdu/transmit.h"
#include "core/ports/pin_prompt.h"
#include "core/ports/report.h"
#include "kit/card_file.h"
#include "sim/catalog.h"

// What the unit tests and the fuzz targets share: a report pane, a card holder, a resource
// manager that takes every answer from a byte script (the fuzz input, or a script a test
// writes), and a watch that checks the rules of a run as it goes by.
namespace zebrik::testing {

// Every simulated card the tests and the fuzz seeds run: the catalogue's and tests/cards.
inline std::vector<sim::CardDescription> AllTestCards() {
    return sim::AllCards(ZEBRIK_TEST_CARD_DIR);
}

inline sim::SimReader CardReader(std::string name, const sim::CardDescription& card) {
    sim::SimReader reader;
    reader.name = std::move(name);
    reader.card = std::make_shared<sim::SimCard>(card);
    return reader;
}

class StringReport : public Report {
public:
    void Clear() override { text.clear(); }
    void Append(std::string_view utf8Text) override { text.append(utf8Text); }
    void DropSelection() override { ++selectionsDropped; }

    std::string text;
    int selectionsDropped = 0;
};

struct PinAnswer {
    bool confirm = false;
    std::string pin;     // AskPin, or the PUK for AskPukAndNewPin
    std::string newPin;  // AskPukAndNewPin only
};

// Well-formed UTF-8 (no stray or missing continuation bytes, overlong forms, surrogates or
// code points above U+10FFFF) as glibc's decoder takes it: a judge apart from the code.
inline bool IsValidUtf8(std::string_view text) {
    static const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    static std::string out;  // room for every character: 4 bytes each
    out.resize(4 * text.size());
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    char *from = const_cast<char*>(text.data()), *to = out.data();
    std::size_t left = text.size(), room = out.size();
    return iconv(decoder, &from, &left, &to, &room) != static_cast<std::size_t>(-1);
}

// A script of answers: one chunk per resource-manager call or prompt, in the order the
// program asks. A chunk is a 2-byte length (big-endian) and its body. Bit 15 of the length
// word: the body starts with a result code, a byte xx for 801000xx (every PC/SC code) or FF
// and the code; bit 14: then a length that the call claims instead of the bytes it filled.
// Then the call's values (see ScriptedResourceManager), then its data. Numbers are 4 bytes,
// little-endian.
struct Chunk {
    std::string data;
    std::vector<std::uint32_t> values = {};
    ResultCode code = kScardSuccess;
    std::optional<std::uint32_t> claimed = {};
};

class Script {
public:
    explicit Script(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
    explicit Script(std::string_view bytes)
        : rest_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}

    bool UsedUp() const { return rest_.size() < 2; }

    // For a target's own header; 0 once the script is used up.
    std::uint8_t Byte() {
        const std::uint8_t byte = rest_.empty() ? 0 : rest_.front();
        rest_ = rest_.subspan(rest_.empty() ? 0 : 1);
        return byte;
    }

    // The next chunk with `count` values; an empty success once the script is used up. A
    // length beyond what is left takes what is left; missing bytes of a number count as 0.
    Chunk Next(std::size_t count = 0) {
        Chunk chunk;
        chunk.values.resize(count);
        if (UsedUp()) {
            rest_ = {};
            return chunk;
        }
        const unsigned word = (rest_[0] << 8) | rest_[1];
        auto body = rest_.subspan(2, std::min<std::size_t>(word & 0x3FFF, rest_.size() - 2));
        rest_ = rest_.subspan(2 + body.size());
        if ((word & 0x8000) != 0) {
            const std::uint8_t low = body.empty() ? 0 : body.front();
            body = body.subspan(body.empty() ? 0 : 1);
            chunk.code = low != 0xFF ? 0x80100000 | low : Number(body);
        }
        if ((word & 0x4000) != 0) {
            chunk.claimed = Number(body);
        }
        for (std::uint32_t& value : chunk.values) {
            value = Number(body);
        }
        chunk.data.assign(reinterpret_cast<const char*>(body.data()), body.size());
        return chunk;
    }

    // A prompt's chunk: bit 0 of byte 0 confirms, bytes 1 to 8 are the PIN (or the PUK),
    // bytes 9 to 16 the new PIN, each up to its first NUL. Used up: cancel.
    PinAnswer NextPinAnswer() {
        const std::string body = Next().data;
        const auto typed = [&body](std::size_t from) {
            const std::string text = from < body.size() ? body.substr(from, kMaxPinLength) : "";
            return text.substr(0, text.find('\0'));
        };
        return {!body.empty() && (body[0] & 1) != 0, typed(1), typed(1 + kMaxPinLength)};
    }

private:
    static std::uint32_t Number(std::span<const std::uint8_t>& body) {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32 && !body.empty(); shift += 8, body = body.subspan(1)) {
            value |= static_cast<std::uint32_t>(body.front()) << shift;
        }
        return value;
    }

    std::span<const std::uint8_t> rest_;
};

inline void Write(std::string& script, const Chunk& chunk) {
    std::string body;
    const auto number = [&body](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            body += static_cast<char>(value >> shift);
        }
    };
    const bool pcsc = (chunk.code & 0xFFFFFF00) == 0x80100000 && (chunk.code & 0xFF) != 0xFF;
    if (chunk.code != kScardSuccess) {
        body += static_cast<char>(pcsc ? chunk.code : 0xFF);
        if (!pcsc) {
            number(chunk.code);
        }
    }
    if (chunk.claimed) {
        number(*chunk.claimed);
    }
    std::for_each(chunk.values.begin(), chunk.values.end(), number);
    body = (body + chunk.data).substr(0, 0x3FFF);
    const unsigned word =
        (chunk.code != kScardSuccess ? 0x8000 : 0) | (chunk.claimed ? 0x4000 : 0) | body.size();
    script += static_cast<char>(word >> 8);
    script += static_cast<char>(word);
    script += body;
}

inline std::string ScriptOf(std::initializer_list<Chunk> chunks) {
    std::string script;
    for (const Chunk& chunk : chunks) {
        Write(script, chunk);
    }
    return script;
}

// Answers prompts from a queue, or from a script; a prompt with no answer left cancels.
// Counts the asks.
class ScriptedPinPrompt : public PinPrompt {
public:
    ScriptedPinPrompt() = default;
    explicit ScriptedPinPrompt(Script& script) : script_(&script) {}

    bool AskPin(PinEntryBuffer& buffer) override {
        return Answer(pinAsks, buffer.pin.data(), nullptr);
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        return Answer(pukAsks, buffer.Puk(), buffer.NewPin());
    }

    std::deque<PinAnswer> answers;
    int pinAsks = 0;
    int pukAsks = 0;

private:
    // Each field takes at most 8 characters and the NUL, as the dialogs store them.
    bool Answer(int& asks, char* first, char* newPin) {
        ++asks;
        const bool queued = script_ == nullptr && !answers.empty();
        const PinAnswer answer = script_ != nullptr ? script_->NextPinAnswer()
                                 : queued           ? answers.front()
                                                    : PinAnswer{};
        if (queued) {
            answers.pop_front();
        }
        for (const auto& [field, text] : {std::pair{first, answer.pin}, {newPin, answer.newPin}}) {
            if (answer.confirm && field != nullptr) {
                const std::size_t n = std::min<std::size_t>(text.size(), kMaxPinLength);
                std::memcpy(field, text.data(), n);
                field[n] = '\0';
            }
        }
        return answer.confirm;
    }

    Script* script_ = nullptr;
};

// A resource manager whose every answer is the next chunk of a script:
//   GetStatusChange  values: event state; data: the ATR
//   Connect          values: a handle (0: none, else a new one, even with a failure),
//                    the active protocol
//   Status           values: card state, protocol; data: reader name and ATR
//   other calls      data: reader list, card names, attribute value or response
// Data goes into the caller's buffer as far as it and the room offered go; the call says it
// filled the length claimed, or else the data's. A used-up script makes every call succeed
// with no data and every command get 6D 00, so every run ends.
class ScriptedResourceManager : public ResourceManager {
public:
    explicit ScriptedResourceManager(Script& script) : script_(script) {}

    // When set, answers the commands instead of the script: a card made of code.
    std::function<std::string(std::span<const std::uint8_t> command)> card;

    ResultCode EstablishContext(std::uint32_t, ContextHandle& context) override {
        context = 1;
        return script_.Next().code;
    }
    ResultCode ListReaders(ContextHandle, std::span<char> readers, std::uint32_t& length) override {
        return Hand(script_.Next(), readers, length);
    }
    ResultCode GetStatusChange(ContextHandle, std::uint32_t, ReaderState& state) override {
        const Chunk chunk = script_.Next(1);
        state.eventState = chunk.values[0];
        state.atrLength = kMaxAtrLength;
        return Hand(chunk, std::span<std::uint8_t>(state.atr), state.atrLength);
    }
    ResultCode ListCards(ContextHandle, std::span<const std::uint8_t>, std::span<char> names,
                         std::uint32_t& length) override {
        return Hand(script_.Next(), names, length);
    }
    ResultCode Connect(ContextHandle, const std::string&, std::uint32_t, std::uint32_t,
                       CardHandle& card, std::uint32_t& protocol) override {
        const Chunk chunk = script_.Next(2);
        card = chunk.values[0] == 0 ? 0 : ++handles_;
        protocol = chunk.values[1];
        return chunk.code;
    }
    ResultCode Status(CardHandle, std::span<char> name, std::uint32_t& nameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        const Chunk chunk = script_.Next(2);
        state = chunk.values[0];
        protocol = chunk.values[1];
        Hand(chunk, name, nameLength);
        return Hand(chunk, atr, atrLength);
    }
    ResultCode GetAttrib(CardHandle, std::uint32_t, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        return Hand(script_.Next(), value, length);
    }
    ResultCode Transmit(CardHandle, SendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        const Chunk chunk = card               ? Chunk{card(command)}
                            : script_.UsedUp() ? Chunk{std::string("\x6D\x00", 2)}
                                               : script_.Next();
        return Hand(chunk, response, length);
    }
    ResultCode Disconnect(CardHandle, std::uint32_t) override { return script_.Next().code; }
    ResultCode ReleaseContext(ContextHandle) override { return script_.Next().code; }

private:
    template <typename T>
    static ResultCode Hand(const Chunk& chunk, std::span<T> buffer, std::uint32_t& length) {
        if (chunk.code != kScardSuccess) {
            return chunk.code;
        }
        const std::size_t n = std::min<std::size_t>({chunk.data.size(), buffer.size(), length});
        if (n > 0) {
            std::memcpy(buffer.data(), chunk.data.data(), n);
        }
        length = chunk.claimed.value_or(static_cast<std::uint32_t>(chunk.data.size()));
        return kScardSuccess;
    }

    Script& script_;
    CardHandle handles_ = 0x100;
};

// Watches a run from outside as its report pane, card holder, trace sink and resource
// manager in one, and notes the first rule the program breaks:
// - only commands of the allow-list go out: SELECT, READ BINARY, READ RECORD and GET
//   RESPONSE (class 00 or A0; GET RESPONSE also 80, after the health card's query) and
//   VERIFY or UNBLOCK without data, the status queries of a UICC (class 00) and of the
//   health card's PINs (80 20 00 01 and 80 20 00 02); the banking cards need no more;
// - VERIFY or UNBLOCK with data goes out only as the very next command after a confirmed
//   prompt of its kind with nothing left empty, once, carrying exactly what was typed, as
//   CHV1 of a SIM (A0, P2 01 / 00) or as a PIN of a UICC (00, P2 01-08, 11 or 81-88);
// - a prompt's fields start empty, and the pane's selection is dropped after every prompt
//   before more text comes;
// - one context, released last; calls only on it and on the one connection open; a
//   connection shared with T=0|T=1 or direct, closed once with SCARD_LEAVE_CARD before
//   anything else; every listed reader asked for its state at once, in the list's order;
// - commands of 4 to 261 bytes; report text well-formed UTF-8 without NUL, trace lines
//   single lines of UTF-8.
class RuleWatch : public ForwardingResourceManager,
                  public Report,
                  public PinPrompt,
                  public TraceSink {
public:
    RuleWatch(ResourceManager& manager, PinPrompt& prompt)
        : ForwardingResourceManager(manager), prompt_(prompt) {}

    bool keep = true;    // the report and the trace, which costs a fuzz target speed
    std::string text;    // the report
    std::string trace;   // the trace lines, each ended by "\n"
    std::string broken;  // the first rule broken; empty while none is
    std::size_t calls = 0;
    std::size_t transmissions = 0;
    std::size_t prompts = 0;
    std::size_t confirmed = 0;
    std::vector<std::string> typed;  // every text a confirmed prompt handed over

    // The run was handed this connection rather than making one.
    void Opened(CardHandle card) { card_ = card; }
    // After a whole run.
    void Finish() {
        Check(context_ != kOpen && card_ == 0, "the context or a connection was left open");
        Check(visited_ == listed_.size(), "a reader of the list was not asked for");
        Check(!dropPending_, "the selection was not dropped after a prompt");
    }

    void Clear() override { text.clear(); }
    void Append(std::string_view part) override {
        Check(!dropPending_, "report text after a prompt before the selection was dropped");
        Check(IsValidUtf8(part) && part.find('\0') == part.npos, "report text that is not UTF-8");
        text.append(keep ? part : "");
    }
    void DropSelection() override { dropPending_ = false; }

    bool AskPin(PinEntryBuffer& buffer) override {
        Asked(buffer.pin[0] == '\0');
        if (!prompt_.AskPin(buffer)) {
            return false;
        }
        allowed_ = Chv(0x20, {buffer.pin.data()});
        return true;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        Asked(buffer.Puk()[0] == '\0' && buffer.NewPin()[0] == '\0');
        if (!prompt_.AskPukAndNewPin(buffer)) {
            return false;
        }
        allowed_ = Chv(0x2C, {buffer.Puk(), buffer.NewPin()});
        return true;
    }

    void WriteLine(std::string_view line) override {
        Check(line.find_first_of("\r\n") == line.npos && IsValidUtf8(line),
              "a trace line that is not one line of UTF-8");
        trace.append(keep ? line : "").append(keep ? "\n" : "");
    }

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override {
        ++calls;
        Check(context_ == kNone, "a second context");
        const ResultCode code = inner_.EstablishContext(scope, context);
        if (code == kScardSuccess) {
            context_ = kOpen;
            contextHandle_ = context;
        }
        return code;
    }
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override {
        OnContext(context);
        const ResultCode code = inner_.ListReaders(context, readers, length);
        // The names as the caller can see them: each up to its NUL, the list up to an empty one.
        const std::string_view seen(
            readers.data(),
            code == kScardSuccess ? std::min<std::size_t>(length, readers.size()) : 0);
        for (std::size_t at = 0, end; at < seen.size() && seen[at] != '\0'; at = end + 1) {
            end = std::min(seen.find('\0', at), seen.size());
            listed_.emplace_back(seen.substr(at, end - at));
        }
        return code;
    }
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override {
        OnContext(context);
        Check(state.currentState == kStateUnaware, "a state query that would wait for a change");
        Check(visited_ < listed_.size() && state.reader == listed_[visited_],
              "a reader asked for out of the list's order");
        ++visited_;
        return inner_.GetStatusChange(context, timeout, state);
    }
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        OnContext(context);
        return inner_.ListCards(context, atr, names, length);
    }
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t protocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override {
        OnContext(context);
        Check((shareMode == kShareShared && protocols == (kProtocolT0 | kProtocolT1)) ||
                  (shareMode == kShareDirect && protocols == kProtocolUndefined),
              "a connection neither shared with T=0|T=1 nor direct");
        const ResultCode code =
            inner_.Connect(context, reader, shareMode, protocols, card, activeProtocol);
        card_ = code == kScardSuccess ? card : 0;
        return code;
    }
    ResultCode Status(CardHandle card, std::span<char> name, std::uint32_t& nameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        OnCard(card);
        return inner_.Status(card, name, nameLength, state, protocol, atr, atrLength);
    }
    ResultCode GetAttrib(CardHandle card, std::uint32_t id, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        OnCard(card);
        return inner_.GetAttrib(card, id, value, length);
    }
    ResultCode Transmit(CardHandle card, SendPci pci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        OnCard(card);
        ++transmissions;
        Check(command.size() >= 4 && command.size() <= 261, "a command of impossible length");
        if (command.size() > 5 && (command[1] == 0x20 || command[1] == 0x2C)) {
            Check(!allowed_.empty(), "VERIFY or UNBLOCK without a confirmed value just before");
            Check(command.size() == allowed_.size() && command[1] == allowed_[1] &&
                      std::equal(command.begin() + 4, command.end(), allowed_.begin() + 4) &&
                      ChvHeader(command),
                  "VERIFY or UNBLOCK that does not carry exactly what was typed");
        } else {
            Check(command.size() < 4 || OnAllowList(command), "a command off the allow-list");
        }
        allowed_.clear();  // a confirmation allows one command, and only the very next one
        return inner_.Transmit(card, pci, command, response, length);
    }
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override {
        OnCard(card);
        Check(disposition == kLeaveCard, "a connection closed otherwise than with LEAVE_CARD");
        card_ = 0;
        return inner_.Disconnect(card, disposition);
    }
    ResultCode ReleaseContext(ContextHandle context) override {
        OnContext(context);
        context_ = kReleased;
        return inner_.ReleaseContext(context);
    }

private:
    void Check(bool kept, const char* rule) {
        if (!kept && broken.empty()) {
            broken = rule;
        }
    }
    void OnContext(ContextHandle context) {
        ++calls;
        Check(context_ == kOpen && context == contextHandle_, "a call on a context not open");
        Check(card_ == 0, "a call on the context while a connection is open");
    }
    void OnCard(CardHandle card) {
        ++calls;
        Check(card != 0 && card == card_, "a call on a connection not open");
    }
    void Asked(bool fieldsEmpty) {
        Check(fieldsEmpty, "a prompt whose fields did not start empty");
        ++prompts;
        dropPending_ = true;
        allowed_.clear();
    }
    // The command a confirmation allows, its header checked by ChvHeader and its CHV fields
    // written out here: what was typed, at most 8 characters, then FF up to 8 bytes. A
    // field left empty allows nothing.
    std::vector<std::uint8_t> Chv(std::uint8_t ins, std::initializer_list<const char*> fields) {
        ++confirmed;
        std::vector<std::uint8_t> command = {
            0, ins, 0x00, 0, static_cast<std::uint8_t>(fields.size() * kMaxPinLength)};
        bool empty = false;
        for (const char* field : fields) {
            typed.emplace_back(field, strnlen(field, kMaxPinLength));
            empty = empty || typed.back().empty();
            for (std::size_t i = 0; i < kMaxPinLength; ++i) {
                command.push_back(i < typed.back().size() ? typed.back()[i] : 0xFF);
            }
        }
        return empty ? std::vector<std::uint8_t>() : command;
    }
    static bool ChvHeader(std::span<const std::uint8_t> c) {
        const std::uint8_t ref = c[3];
        const bool uiccPin =
            (ref >= 0x01 && ref <= 0x08) || ref == 0x11 || (ref >= 0x81 && ref <= 0x88);
        const bool gsmChv1 = c[3] == (c[1] == 0x20 ? 0x01 : 0x00);
        return c[2] == 0x00 && ((c[0] == 0xA0 && gsmChv1) || (c[0] == 0x00 && uiccPin));
    }
    static bool OnAllowList(std::span<const std::uint8_t> c) {
        const bool familyClass = c[0] == 0x00 || c[0] == 0xA0;
        const bool noData = c.size() == 4 || (c.size() == 5 && c[4] == 0x00);
        switch (c[1]) {
            case 0xA4:
            case 0xB0:
            case 0xB2:
                return familyClass;
            case 0xC0:
                return familyClass || c[0] == 0x80;
            case 0x20:
                return noData && (c[0] == 0x00 || (c.size() == 4 && c[0] == 0x80 && c[2] == 0x00 &&
                                                   (c[3] == 0x01 || c[3] == 0x02)));
            case 0x2C:
                return noData && c[0] == 0x00;
            default:
                return false;
        }
    }

    enum ContextState { kNone, kOpen, kReleased };

    PinPrompt& prompt_;
    ContextState context_ = kNone;
    ContextHandle contextHandle_ = 0;
    CardHandle card_ = 0;
    std::vector<std::string> listed_;
    std::size_t visited_ = 0;
    bool dropPending_ = false;
    std::vector<std::uint8_t> allowed_;
};

}  // namespace zebrik::testing
