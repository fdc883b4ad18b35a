// zebrik_bench_replay: the least a PC/SC program can do to send a card a given list of
// commands. It connects to the first reader whose name starts with the given prefix and
// sends every command of the file (one per line, hexadecimal) in turn, answers unread.
// The benchmark sets the time of a zebrik-report run against the time of this replay of
// the very commands that run sent.
//
//   zebrik_bench_replay READER_PREFIX COMMAND_FILE
//
// Exit status: 0 when every command was transmitted, 1 otherwise.
#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

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

bool ReadCommands(const char* path, std::vector<Bytes>& commands) {
    std::ifstream file(path);
    if (!file) {
        return false;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty()) {
            continue;
        }
        Bytes command = ParseHex(line);
        if (command.empty()) {
            std::fprintf(stderr, "replay: not a command: %s\n", line.c_str());
            return false;
        }
        commands.push_back(std::move(command));
    }
    return true;
}

int Fail(const char* what, LONG code) {
    std::fprintf(stderr, "replay: %s: %s (0x%08lX)\n", what, pcsc_stringify_error(code),
                 static_cast<unsigned long>(code));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zebrik_bench_replay READER_PREFIX COMMAND_FILE\n", stderr);
        return 2;
    }
    const std::string_view prefix = argv[1];
    std::vector<Bytes> commands;
    if (!ReadCommands(argv[2], commands)) {
        std::fprintf(stderr, "replay: cannot read the commands from %s\n", argv[2]);
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
        std::fprintf(stderr, "replay: no reader named %s...\n", argv[1]);
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
