// zebrik-vpcd-card: puts one card of the simulated kit behind the vpcd virtual reader,
// so that pcscd and every program on top of it see a real reader with that card. vpcd
// listens on a TCP port of its own; the card is the client. Every message goes either way
// as a 2-byte big-endian length and the payload: one byte is a control from the reader,
// anything longer a command APDU, answered with the response APDU.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/report/text.h"
#include "kit/card_file.h"

namespace {

using zebrik::sim::Bytes;

constexpr std::string_view kUsage =
    "Aufruf: zebrik-vpcd-card (--card NAME | --card-file DATEI) [--card-dir VERZEICHNIS]\n"
    "                         [--port N] [--log DATEI]\n"
    "        zebrik-vpcd-card --list [--card-dir VERZEICHNIS]\n"
    "Verbindet eine simulierte Karte (aus dem Katalog, NAME.card im Kartenverzeichnis, Vorgabe:\n"
    "die Testkarten der Quellen, oder eine Kartendatei) mit dem virtuellen Leser vpcd auf Port N\n"
    "(Vorgabe 35963); --log hängt jedes Kommando-APDU hexadezimal an DATEI an, eines je Zeile.\n";

// The controls of the reader that the card answers or acts upon.
constexpr std::uint8_t kPowerOn = 1, kReset = 2, kGetAtr = 4;

struct Options {
    std::string card, cardFile, cardDirectory = ZEBRIK_CARD_DIR, log;
    int port = 0x8C7B;  // vpcd's own default; a reader.conf names another
    bool list = false;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::string* text = argument == "--card"        ? &options.card
                            : argument == "--card-file" ? &options.cardFile
                            : argument == "--card-dir"  ? &options.cardDirectory
                            : argument == "--log"       ? &options.log
                                                        : nullptr;
        if (argument == "--list") {
            options.list = true;
        } else if (text != nullptr && value != nullptr) {
            *text = argv[++i];
        } else if (argument == "--port" && value != nullptr) {
            char* end = nullptr;
            options.port = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (*end != '\0' || options.port < 1 || options.port > 65535) {
                return false;
            }
        } else {
            return false;
        }
    }
    return options.list || options.card.empty() != options.cardFile.empty();
}

// The card the options name; a mistake in a card file is reported with its file and line.
zebrik::sim::CardDescription ChosenCard(const Options& options) {
    if (!options.cardFile.empty()) {
        return zebrik::sim::LoadCardFile(options.cardFile);
    }
    auto card = zebrik::sim::FindCard(options.card, options.cardDirectory);
    if (!card) {
        throw zebrik::sim::CardFileError("keine Karte \"" + options.card +
                                         "\" im Katalog oder in " + options.cardDirectory +
                                         " (siehe --list)");
    }
    return std::move(*card);
}

// Connects to vpcd on the loopback address, trying again for a minute while pcscd starts.
int ConnectToVpcd(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < 600; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 &&
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            // Command and answer are small and strictly alternate: send each at once.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        if (fd >= 0) {
            close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

// Reads exactly the buffer's size; false at the end of the connection or on an error.
bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        // vpcd writes the length and the payload of a message in two pieces with Nagle's
        // algorithm on, so its payload waits for our ACK of the length. A delayed ACK
        // would cost 40 ms per command; quick ACKs are not sticky and are asked anew.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        const ssize_t got = recv(fd, data, size, 0);
        if (got <= 0 && !(got < 0 && errno == EINTR)) {
            return false;
        }
        data += std::max<ssize_t>(got, 0);
        size -= static_cast<std::size_t>(std::max<ssize_t>(got, 0));
    }
    return true;
}

bool WriteAll(int fd, const Bytes& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0 && !(put < 0 && errno == EINTR)) {
            return false;
        }
        sent += static_cast<std::size_t>(std::max<ssize_t>(put, 0));
    }
    return true;
}

// Answers the reader until it closes the connection: 0 then, 1 when an answer was not sent.
int Serve(int fd, zebrik::sim::SimCard& card, std::FILE* log) {
    Bytes message;
    for (std::uint8_t length[2]; ReadExactly(fd, length, 2);) {
        message.resize(static_cast<std::size_t>(length[0]) << 8 | length[1]);
        if (!ReadExactly(fd, message.data(), message.size())) {
            break;
        }
        Bytes answer;
        if (message.size() > 1) {
            std::string line;
            zebrik::AppendHexBytes(line, message);
            if (log != nullptr) {
                std::fprintf(log, "%s\n", line.c_str());
                std::fflush(log);
            }
            answer = card.Process(message);
            // The card's own command log would only grow here; the --log file keeps them.
            card.ClearLog();
        } else if (message.size() == 1 && (message[0] == kPowerOn || message[0] == kReset)) {
            card.Reset();  // a fresh power-up starts the card over: MF selected, no PIN verified
        } else if (message.size() == 1 && message[0] == kGetAtr) {
            answer = card.Description().atr;
        }
        if (!answer.empty()) {
            answer.insert(answer.begin(), {static_cast<std::uint8_t>(answer.size() >> 8),
                                           static_cast<std::uint8_t>(answer.size())});
            if (answer.size() > 0x10001 || !WriteAll(fd, answer)) {
                std::fprintf(stderr, "zebrik-vpcd-card: Antwort an vpcd nicht gesendet\n");
                return 1;
            }
        }
    }
    return 0;  // vpcd has closed: pcscd stopped or dropped the reader
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
        return 2;
    }
    std::FILE* log = nullptr;
    std::optional<zebrik::sim::SimCard> card;
    try {
        if (options.list) {
            for (const auto& each : zebrik::sim::AllCards(options.cardDirectory)) {
                std::printf("%s\t%s\n", each.name.c_str(), each.title.c_str());
            }
            return 0;
        }
        card.emplace(ChosenCard(options));
    } catch (const zebrik::sim::CardFileError& error) {
        std::fprintf(stderr, "zebrik-vpcd-card: %s\n", error.what());
        return 2;
    }
    if (!options.log.empty() && (log = std::fopen(options.log.c_str(), "a")) == nullptr) {
        std::perror(options.log.c_str());
        return 1;
    }
    const int fd = ConnectToVpcd(options.port);
    if (fd < 0) {
        std::fprintf(stderr, "zebrik-vpcd-card: keine Verbindung zu vpcd auf Port %d\n",
                     options.port);
        return 1;
    }
    const int status = Serve(fd, *card, log);
    close(fd);
    if (log != nullptr) {
        std::fclose(log);
    }
    return status;
}
