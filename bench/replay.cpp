// zebrik_bench_replay: the least a PC/SC program can do to make a given set of calls. The
// benchmark sets the time of a zebrik-report run against the time of this replay.
//
//   zebrik_bench_replay --calls RECORDING
//       makes every resource-manager call of a recorded run (zebrik_bench_record; the
//       format is in call_recording.h) with plain pcsc-lite calls: the same calls in the
//       same order with the same arguments and room, and nothing else. pcsc-lite has no
//       card-name query; there the pcsc-lite adapter looks the names up in pcsc-tools'
//       list, and so does this replay, through the same code. It checks that every call
//       gave back what it gave in the recorded run.
//   zebrik_bench_replay READER_PREFIX COMMAND_FILE
//       connects to the first reader whose name starts with the prefix and sends every
//       command of the file (one per line, hexadecimal) in turn, answers unread.
//
// Exit status: 0 when every call went as recorded (every command was transmitted), 1
// otherwise.
#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pcsc/card_names.h"

namespace {

using Bytes = std::vector<BYTE>;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Hex digits of a line; blanks between them are allowed. Empty on anything else.
Bytes ParseHex(std::string_view line) {
    Bytes bytes;
    int high = -1;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) {
            return {};
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<BYTE>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0 ? bytes : Bytes{};
}

int Fail(const char* what, LONG code) {
    std::fprintf(stderr, "replay: %s: %s (0x%08lX)\n", what, pcsc_stringify_error(code),
                 static_cast<unsigned long>(code));
    return 1;
}

bool ReadFile(const char* path, std::string& text) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    char block[16 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        text.append(block, got);
    }
    const bool read = !std::ferror(file);
    std::fclose(file);
    return read;
}

// --- the recorded calls ----------------------------------------------------------------

enum class Op {
    Establish,
    ListReaders,
    StatusChange,
    ListCards,
    Connect,
    Status,
    GetAttrib,
    Transmit,
    Disconnect,
    Release
};

struct Call {
    Op op{};
    std::string line;          // as recorded, for the messages
    std::uint64_t handle = 0;  // the context or card it goes to, as recorded
    DWORD scope = 0;
    DWORD room = 0;  // for the status query: the room for the reader name
    DWORD atrRoom = 0;
    DWORD timeout = 0;
    DWORD currentState = 0;
    std::string reader;
    Bytes bytes;  // the ATR or the command
    DWORD shareMode = 0;
    DWORD protocols = 0;
    DWORD attribute = 0;
    bool t1 = false;
    DWORD disposition = 0;
    // What the recorded run got back.
    std::uint32_t result = 0;
    std::uint64_t answer = 0;  // context, card, length or event state
    std::uint64_t answerProtocol = 0;
};

// The fields of a recorded line, one after another. Plain code on purpose: the replay's own
// work counts as part of the floor and should be as little as it can be.
class Fields {
public:
    explicit Fields(std::string_view line) : rest_(line) {}

    bool Ok() const { return ok_; }
    void Require(bool condition) { ok_ = ok_ && condition; }

    std::string_view Word() {
        const std::size_t start = std::min(rest_.find_first_not_of(' '), rest_.size());
        rest_.remove_prefix(start);
        const std::size_t end = std::min(rest_.find(' '), rest_.size());
        const std::string_view word = rest_.substr(0, end);
        rest_.remove_prefix(end);
        Require(!word.empty());
        return word;
    }
    std::uint64_t Number() {
        const std::string_view word = Word();
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        Require(error == std::errc() && end == word.data() + word.size());
        return value;
    }
    DWORD Dword() { return static_cast<DWORD>(Number()); }
    Bytes Hex() {
        const std::string_view word = Word();
        if (word == "-") {
            return {};
        }
        Bytes bytes = ParseHex(word);
        Require(!bytes.empty());
        return bytes;
    }
    std::string Text() {
        const Bytes bytes = Hex();
        return std::string(bytes.begin(), bytes.end());
    }

private:
    std::string_view rest_;
    bool ok_ = true;
};

bool ParseCall(std::string_view line, Call& call) {
    Fields in(line);
    call.line = line;
    const std::string_view name = in.Word();
    if (name == "establish") {
        call.op = Op::Establish;
        call.scope = in.Dword();
    } else if (name == "list-readers") {
        call.op = Op::ListReaders;
        call.handle = in.Number();
        call.room = in.Dword();
    } else if (name == "status-change") {
        call.op = Op::StatusChange;
        call.handle = in.Number();
        call.timeout = in.Dword();
        call.currentState = in.Dword();
        call.reader = in.Text();
    } else if (name == "list-cards") {
        call.op = Op::ListCards;
        call.handle = in.Number();
        call.bytes = in.Hex();
        call.room = in.Dword();
    } else if (name == "connect") {
        call.op = Op::Connect;
        call.handle = in.Number();
        call.reader = in.Text();
        call.shareMode = in.Dword();
        call.protocols = in.Dword();
    } else if (name == "status") {
        call.op = Op::Status;
        call.handle = in.Number();
        call.room = in.Dword();
        call.atrRoom = in.Dword();
    } else if (name == "get-attrib") {
        call.op = Op::GetAttrib;
        call.handle = in.Number();
        call.attribute = in.Dword();
        call.room = in.Dword();
    } else if (name == "transmit") {
        call.op = Op::Transmit;
        call.handle = in.Number();
        const std::string_view pci = in.Word();
        in.Require(pci == "t0" || pci == "t1");
        call.t1 = pci == "t1";
        call.bytes = in.Hex();
        call.room = in.Dword();
    } else if (name == "disconnect") {
        call.op = Op::Disconnect;
        call.handle = in.Number();
        call.disposition = in.Dword();
    } else if (name == "release") {
        call.op = Op::Release;
        call.handle = in.Number();
    } else {
        return false;
    }
    in.Require(in.Word() == "=>");
    call.result = static_cast<std::uint32_t>(in.Number());
    if (call.op != Op::Status && call.op != Op::Disconnect && call.op != Op::Release) {
        call.answer = in.Number();
    }
    if (call.op == Op::Connect) {
        call.answerProtocol = in.Number();
    }
    return in.Ok();
}

bool ReadCalls(const char* path, std::vector<Call>& calls) {
    std::string text;
    if (!ReadFile(path, text)) {
        return false;
    }
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        Call call;
        if (!ParseCall(line, call)) {
            std::fprintf(stderr, "replay: not a recorded call: %.*s\n",
                         static_cast<int>(line.size()), line.data());
            return false;
        }
        calls.push_back(std::move(call));
    }
    return true;
}

// Makes the calls; the handles of the recorded run stand for the ones this run gets.
class CallReplay {
public:
    void Make(const Call& call) {
        LONG code = SCARD_S_SUCCESS;
        std::uint64_t answer = 0;
        std::uint64_t answerProtocol = 0;
        switch (call.op) {
            case Op::Establish: {
                SCARDCONTEXT context = 0;
                code = SCardEstablishContext(call.scope, nullptr, nullptr, &context);
                contexts_[call.answer] = context;
                answer = call.answer;  // a handle: whatever its value, it is this one
                break;
            }
            case Op::ListReaders: {
                buffer_.resize(call.room);
                DWORD length = call.room;
                code = SCardListReaders(contexts_[call.handle], nullptr,
                                        reinterpret_cast<char*>(buffer_.data()), &length);
                answer = code == SCARD_S_SUCCESS ? length : 0;
                break;
            }
            case Op::StatusChange: {
                SCARD_READERSTATE state{};
                state.szReader = call.reader.c_str();
                state.dwCurrentState = call.currentState;
                code = SCardGetStatusChange(contexts_[call.handle], call.timeout, &state, 1);
                answer = code == SCARD_S_SUCCESS ? (state.dwEventState & 0xFFFFu) : 0;
                break;
            }
            case Op::ListCards: {
                names_.resize(call.room);
                std::uint32_t length = call.room;
                code =
                    static_cast<LONG>(zebrik::ListCardNames(cardList_, call.bytes, names_, length));
                answer = code == SCARD_S_SUCCESS ? length : 0;
                break;
            }
            case Op::Connect: {
                SCARDHANDLE card = 0;
                DWORD protocol = SCARD_PROTOCOL_UNDEFINED;
                code = SCardConnect(contexts_[call.handle], call.reader.c_str(), call.shareMode,
                                    call.protocols, &card, &protocol);
                if (code == SCARD_S_SUCCESS) {
                    cards_[call.answer] = card;
                    answer = call.answer;
                    answerProtocol = protocol;
                }
                break;
            }
            case Op::Status: {
                names_.resize(call.room);
                buffer_.resize(call.atrRoom);
                DWORD nameLength = call.room;
                DWORD atrLength = call.atrRoom;
                DWORD state = 0;
                DWORD protocol = SCARD_PROTOCOL_UNDEFINED;
                code = SCardStatus(cards_[call.handle], names_.data(), &nameLength, &state,
                                   &protocol, buffer_.data(), &atrLength);
                break;
            }
            case Op::GetAttrib: {
                buffer_.resize(call.room);
                DWORD length = call.room;
                code = SCardGetAttrib(cards_[call.handle], call.attribute, buffer_.data(), &length);
                answer = code == SCARD_S_SUCCESS ? length : 0;
                break;
            }
            case Op::Transmit: {
                buffer_.resize(call.room);
                DWORD length = call.room;
                code = SCardTransmit(cards_[call.handle], call.t1 ? SCARD_PCI_T1 : SCARD_PCI_T0,
                                     call.bytes.data(), static_cast<DWORD>(call.bytes.size()),
                                     nullptr, buffer_.data(), &length);
                answer = code == SCARD_S_SUCCESS ? length : 0;
                break;
            }
            case Op::Disconnect:
                code = SCardDisconnect(cards_[call.handle], call.disposition);
                break;
            case Op::Release:
                code = SCardReleaseContext(contexts_[call.handle]);
                break;
        }
        if (static_cast<std::uint32_t>(code) != call.result || answer != call.answer ||
            answerProtocol != call.answerProtocol) {
            if (++differences_ <= 5) {
                std::fprintf(stderr, "replay: recorded %s\n        now gave 0x%08lX %llu %llu\n",
                             call.line.c_str(), static_cast<unsigned long>(code),
                             static_cast<unsigned long long>(answer),
                             static_cast<unsigned long long>(answerProtocol));
            }
        }
    }

    int Differences() const { return differences_; }

private:
    const std::string cardList_{zebrik::kDebianSmartcardList};
    std::map<std::uint64_t, SCARDCONTEXT> contexts_;
    std::map<std::uint64_t, SCARDHANDLE> cards_;
    std::vector<BYTE> buffer_;
    std::vector<char> names_;
    int differences_ = 0;
};

int ReplayCalls(const char* path) {
    std::vector<Call> calls;
    if (!ReadCalls(path, calls) || calls.empty()) {
        std::fprintf(stderr, "replay: cannot read the recorded calls from %s\n", path);
        return 1;
    }
    CallReplay replay;
    for (const Call& call : calls) {
        replay.Make(call);
    }
    if (replay.Differences() > 0) {
        std::fprintf(stderr, "replay: %d calls gave other answers than in the recorded run\n",
                     replay.Differences());
        return 1;
    }
    return 0;
}

// --- the commands alone -------------------------------------------------------------------

bool ReadCommands(const char* path, std::vector<Bytes>& commands) {
    std::string text;
    if (!ReadFile(path, text)) {
        return false;
    }
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.empty()) {
            continue;
        }
        Bytes command = ParseHex(line);
        if (command.empty()) {
            std::fprintf(stderr, "replay: not a command: %.*s\n", static_cast<int>(line.size()),
                         line.data());
            return false;
        }
        commands.push_back(std::move(command));
    }
    return true;
}

int ReplayCommands(std::string_view prefix, const char* path) {
    std::vector<Bytes> commands;
    if (!ReadCommands(path, commands)) {
        std::fprintf(stderr, "replay: cannot read the commands from %s\n", path);
        return 1;
    }

    SCARDCONTEXT context = 0;
    LONG code = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (code != SCARD_S_SUCCESS) {
        return Fail("SCardEstablishContext", code);
    }
    char readers[1024];
    DWORD readersLength = sizeof readers;
    code = SCardListReaders(context, nullptr, readers, &readersLength);
    if (code != SCARD_S_SUCCESS) {
        return Fail("SCardListReaders", code);
    }
    const char* reader = nullptr;
    for (const char* name = readers; *name != '\0'; name += std::string_view(name).size() + 1) {
        if (std::string_view(name).starts_with(prefix)) {
            reader = name;
            break;
        }
    }
    if (!reader) {
        std::fprintf(stderr, "replay: no reader named %.*s...\n", static_cast<int>(prefix.size()),
                     prefix.data());
        return 1;
    }

    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    code = SCardConnect(context, reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                        &card, &protocol);
    if (code != SCARD_S_SUCCESS) {
        return Fail("SCardConnect", code);
    }
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    BYTE response[MAX_BUFFER_SIZE_EXTENDED];
    for (const Bytes& command : commands) {
        DWORD responseLength = sizeof response;
        code = SCardTransmit(card, pci, command.data(), static_cast<DWORD>(command.size()), nullptr,
                             response, &responseLength);
        if (code != SCARD_S_SUCCESS) {
            return Fail("SCardTransmit", code);
        }
    }
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--calls") {
        return ReplayCalls(argv[2]);
    }
    if (argc == 3) {
        return ReplayCommands(argv[1], argv[2]);
    }
    std::fputs(
        "usage: zebrik_bench_replay --calls RECORDING\n"
        "       zebrik_bench_replay READER_PREFIX COMMAND_FILE\n",
        stderr);
    return 2;
}
