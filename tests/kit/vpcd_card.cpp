// zebrik-vpcd-card: one card of the simulated kit behind the vpcd virtual reader, so that
// pcscd and every program on top of it see a real reader with that card. vpcd listens on a
// TCP port, the card is the client. A message either way is a 2-byte big-endian length and
// the payload: one byte is a control from the reader, more a command APDU, to be answered.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/report/text.h"
#include "kit/card_file.h"

namespace {

using zebrik::sim::Bytes;

// The controls of the reader that the card answers or acts upon.
constexpr std::uint8_t kPowerOn = 1, kReset = 2, kGetAtr = 4;

struct Options {
    std::string card, log = "/dev/null";
    int port = 0x8C7B;  // vpcd's own default; a reader.conf names another
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view key = argv[i], value = argv[i + 1];
        if (key == "--card" || key == "--log") {
            (key == "--card" ? options.card : options.log) = value;
        } else {
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), options.port);
            if (key != "--port" || error != std::errc() || end != value.data() + value.size() ||
                options.port < 1 || options.port > 65535) {
                return false;
            }
        }
    }
    return argc % 2 == 1 && !options.card.empty();
}

// Connects to vpcd on the loopback address, trying again for a minute while pcscd starts.
int ConnectToVpcd(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < 600; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // A failed socket() fails connect() and close() too.
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            // Command and answer are small and strictly alternate: send each at once.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
    // vpcd writes the length and the payload of a message in two pieces with Nagle's
    // algorithm on, so its payload waits for our ACK of the length. A delayed ACK would
    // cost 40 ms per command; quick ACKs are not sticky and are asked anew.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    return recv(fd, data, size, MSG_WAITALL) == static_cast<ssize_t>(size);
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
            std::fprintf(log, "%s\n", line.c_str());
            std::fflush(log);
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
            // With no signal handled, a blocking send returns early only on an error.
            if (answer.size() > 0x10001 || send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                                               static_cast<ssize_t>(answer.size())) {
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
        std::fprintf(stderr, "Aufruf: zebrik-vpcd-card --card NAME [--port N] [--log DATEI]\n");
        return 2;
    }
    std::optional<zebrik::sim::SimCard> card;
    try {  // no such card (bad_optional_access), or a faulty card file
        card.emplace(zebrik::sim::FindCard(options.card, ZEBRIK_CARD_DIR).value());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zebrik-vpcd-card: %s: %s\n", options.card.c_str(), error.what());
        return 2;
    }
    std::FILE* const log = std::fopen(options.log.c_str(), "a");
    if (log == nullptr) {
        std::perror(options.log.c_str());
        return 1;
    }
    const int fd = ConnectToVpcd(options.port);
    if (fd < 0) {
        std::fprintf(stderr, "zebrik-vpcd-card: keine Verbindung zu vpcd auf Port %d\n",
                     options.port);
        return 1;
    }
    return Serve(fd, *card, log);  // the exit closes the socket and the log
}
