// zebrik-vpcd-card: puts one card of the simulated kit behind the vpcd virtual reader,
// so that pcscd and every program on top of it see a real reader with that card. vpcd
// listens on a TCP port of its own; the card is the client. A card is a catalogue card or
// a card file (see kit/card_file.h), by name from the card directory or by its path.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include "kit/vpcd_protocol.h"
#include "sim/catalog.h"

namespace {

// vpcd's own default port (0x8C7B); a reader.conf names another with DEVICENAME /dev/null:N.
constexpr int kDefaultPort = 0x8C7B;
constexpr auto kRetryInterval = std::chrono::milliseconds(100);
constexpr int kConnectAttempts = 600;  // a minute for pcscd to start its readers

// The test cards of the source tree, the directory a card name is looked up in by default.
constexpr std::string_view kDefaultCardDirectory = ZEBRIK_CARD_DIR;

constexpr std::string_view kUsage =
    "Aufruf: zebrik-vpcd-card (--card NAME | --card-file DATEI) [--card-dir VERZEICHNIS]\n"
    "                         [--port N] [--log DATEI]\n"
    "        zebrik-vpcd-card --list [--card-dir VERZEICHNIS]\n"
    "\n"
    "Verbindet eine simulierte Karte mit dem virtuellen Leser vpcd (vsmartcard) in pcscd.\n"
    "  --card NAME       die Karte aus dem Katalog oder NAME.card im Kartenverzeichnis\n"
    "  --card-file DATEI die Karte aus einer Kartendatei\n"
    "  --card-dir VERZ.  das Kartenverzeichnis (Vorgabe: die Testkarten der Quellen)\n"
    "  --port N          der Port des vpcd-Lesers (Vorgabe 35963)\n"
    "  --log DATEI       jedes Kommando-APDU hexadezimal anhängen, eines je Zeile\n"
    "  --list            die Namen und Titel der Karten\n";

struct Options {
    std::string card;
    std::string cardFile;
    std::string cardDirectory{kDefaultCardDirectory};
    int port = kDefaultPort;
    std::string log;
    bool list = false;
};

std::optional<int> ParsePort(std::string_view text) {
    int port = 0;
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--list") {
            options.list = true;
        } else if (argument == "--card" && hasValue) {
            options.card = argv[++i];
        } else if (argument == "--card-file" && hasValue) {
            options.cardFile = argv[++i];
        } else if (argument == "--card-dir" && hasValue) {
            options.cardDirectory = argv[++i];
        } else if (argument == "--log" && hasValue) {
            options.log = argv[++i];
        } else if (argument == "--port" && hasValue) {
            const std::optional<int> port = ParsePort(argv[++i]);
            if (!port) {
                return std::nullopt;
            }
            options.port = *port;
        } else {
            return std::nullopt;
        }
    }
    if (!options.list && options.card.empty() == options.cardFile.empty()) {
        return std::nullopt;
    }
    return options;
}

int ListCards(const std::string& directory) {
    for (const zebrik::sim::CardDescription& card : zebrik::sim::AllCards(directory)) {
        std::printf("%s\t%s\n", card.name.c_str(), card.title.c_str());
    }
    return 0;
}

// The card the options name; a mistake in a card file is reported with its file and line.
std::optional<zebrik::sim::CardDescription> ChosenCard(const Options& options) {
    try {
        if (!options.cardFile.empty()) {
            return zebrik::sim::LoadCardFile(options.cardFile);
        }
        std::optional<zebrik::sim::CardDescription> card =
            zebrik::sim::FindCard(options.card, options.cardDirectory);
        if (!card) {
            std::fprintf(stderr,
                         "zebrik-vpcd-card: keine Karte \"%s\" im Katalog oder in %s (siehe "
                         "--list)\n",
                         options.card.c_str(), options.cardDirectory.c_str());
        }
        return card;
    } catch (const zebrik::sim::CardFileError& error) {
        std::fprintf(stderr, "zebrik-vpcd-card: %s\n", error.what());
        return std::nullopt;
    }
}

// Connects to vpcd on the loopback address, trying again while nobody listens yet.
int ConnectToVpcd(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            // Command and answer are small and strictly alternate: send each at once.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(kRetryInterval);
    }
    errno = ETIMEDOUT;
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
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const zebrik::sim::Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

void LogCommand(std::FILE* log, std::span<const std::uint8_t> command) {
    if (log == nullptr) {
        return;
    }
    std::string line;
    zebrik::AppendHexBytes(line, command);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), log);
    std::fflush(log);
}

// Answers the reader until it closes the connection.
int Serve(int fd, zebrik::sim::SimCard& card, std::FILE* log) {
    zebrik::sim::Bytes message;
    for (;;) {
        std::uint8_t prefix[zebrik::vpcd::kLengthPrefix];
        if (!ReadExactly(fd, prefix, sizeof prefix)) {
            return 0;  // vpcd has closed: pcscd stopped or dropped the reader
        }
        message.resize(zebrik::vpcd::PayloadLength(prefix[0], prefix[1]));
        if (!ReadExactly(fd, message.data(), message.size())) {
            return 0;
        }
        if (message.size() > zebrik::vpcd::kControlLength) {
            LogCommand(log, message);
        }
        const std::optional<zebrik::sim::Bytes> answer = zebrik::vpcd::Answer(card, message);
        // The card's own command log would only grow here; the --log file keeps them.
        card.ClearLog();
        if (!answer) {
            continue;
        }
        const std::optional<zebrik::sim::Bytes> framed = zebrik::vpcd::Frame(*answer);
        if (!framed || !WriteAll(fd, *framed)) {
            std::fprintf(stderr, "zebrik-vpcd-card: Antwort an vpcd nicht gesendet\n");
            return 1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
        return 2;
    }
    if (options->list) {
        try {
            return ListCards(options->cardDirectory);
        } catch (const zebrik::sim::CardFileError& error) {
            std::fprintf(stderr, "zebrik-vpcd-card: %s\n", error.what());
            return 2;
        }
    }
    std::optional<zebrik::sim::CardDescription> description = ChosenCard(*options);
    if (!description) {
        return 2;
    }
    std::FILE* log = nullptr;
    if (!options->log.empty()) {
        log = std::fopen(options->log.c_str(), "a");
        if (log == nullptr) {
            std::perror(options->log.c_str());
            return 1;
        }
    }
    zebrik::sim::SimCard card(std::move(*description));
    const int fd = ConnectToVpcd(options->port);
    if (fd < 0) {
        std::fprintf(stderr, "zebrik-vpcd-card: keine Verbindung zu vpcd auf Port %d\n",
                     options->port);
        return 1;
    }
    const int status = Serve(fd, card, log);
    close(fd);
    if (log != nullptr) {
        std::fclose(log);
    }
    return status;
}
