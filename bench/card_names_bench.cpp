// zebrik_bench_card_names: the wall time of one card's name lookup with the list included,
// as the program makes it once per card: open pcsc-tools' ATR list, scan it for the ATR,
// write the names. Prints one line per ATR and way, the median first:
//
//   card-name lookup, list included, early ATR, warm: median 0.150 ms (min ..., max ...; N runs)
//
// warm: lookups back to back in one process; cold: the first lookup of a process just
// started (this program again), as in a run of zebrik-report - its stack, caches and
// branch predictors not yet used to the lookup; the list stays in the page cache, as it
// does between runs.
//
// Then the same two ways for the least any scan of the list in place has to do: open it,
// read it in blocks of the lookup's size and find the start of every line, nothing more:
//
//   reading the list alone, lines found, warm: median 0.100 ms (...)
//
//   zebrik_bench_card_names [--list FILE] [--runs N]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pcsc/card_names.h"

extern char** environ;

namespace {

struct Case {
    const char* label;
    const char* atr;
};

// Early: the card of the end-to-end test for names, near the top of the list. Late: the
// list's last pattern. Unknown: a simulated card's ATR, which the list does not know.
constexpr std::array<Case, 3> kCases = {
    Case{"early ATR", "3B021450"},
    Case{"late ATR", "3FFF9500FF918171FF470054494745523030332052657632353064"},
    Case{"unknown ATR", "3B16945A454252494B"},
};

std::vector<std::uint8_t> Bytes(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One lookup: its wall time in ms, or a negative value when the query failed.
double TimeLookup(const std::string& list, const std::vector<std::uint8_t>& atr,
                  std::uint32_t& length) {
    std::array<char, 256> names;
    length = names.size();
    const double start = NowMs();
    const zebrik::ResultCode code = zebrik::ListCardNames(list, atr, names, length);
    const double took = NowMs() - start;
    return code == zebrik::kScardSuccess ? took : -1.0;
}

// Reading the list as the lookup reads it (the same block size), finding its lines and
// nothing else: its wall time in ms, or a negative value when it could not be read.
double TimeReadingAlone(const std::string& list, std::uint32_t& lines) {
    const double start = NowMs();
    const int descriptor = open(list.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1.0;
    }
    std::array<char, 16 * 1024> block;
    lines = 0;
    ssize_t got = 0;
    while ((got = read(descriptor, block.data(), block.size())) > 0) {
        const char* const end = block.data() + got;
        for (const char* at = block.data();; ++at, ++lines) {
            at =
                static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (at == nullptr) {
                break;
            }
        }
    }
    close(descriptor);
    const double took = NowMs() - start;
    return got == 0 ? took : -1.0;
}

// The first lookup (with an ATR) or the first reading alone (without) of a new process:
// this program, run with --first.
double TimeFirst(const std::string& list, const char* atr) {
    char self[] = "/proc/self/exe";
    std::string listArgument = list;
    std::string atrArgument = atr == nullptr ? "" : atr;
    char first[] = "--first";
    char* arguments[] = {self, first, listArgument.data(),
                         atr == nullptr ? nullptr : atrArgument.data(), nullptr};
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1.0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, self, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::array<char, 64> answer{};
    std::size_t got = 0;
    for (ssize_t n = 0; spawned == 0 && got + 1 < answer.size();
         got += static_cast<std::size_t>(n)) {
        n = read(pipeEnds[0], answer.data() + got, answer.size() - 1 - got);
        if (n <= 0) {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || status != 0) {
        return -1.0;
    }
    return std::strtod(answer.data(), nullptr);
}

void PrintRow(const std::string& label, std::vector<double> times, const char* unit,
              std::uint32_t count) {
    std::sort(times.begin(), times.end());
    std::printf("%s: median %.3f ms (min %.3f, max %.3f; %zu runs, %u %s)\n", label.c_str(),
                times[times.size() / 2], times.front(), times.back(), times.size(), count, unit);
}

bool Failed(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end()) < 0;
}

int Usage() {
    std::fputs("usage: zebrik_bench_card_names [--list FILE] [--runs N]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--first") {
        std::uint32_t length = 0;
        std::printf("%.6f\n", TimeLookup(argv[2], Bytes(argv[3]), length));
        return 0;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--first") {
        std::uint32_t lines = 0;
        std::printf("%.6f\n", TimeReadingAlone(argv[2], lines));
        return 0;
    }
    std::string list(zebrik::kDebianSmartcardList);
    int runs = 201;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--list" && i + 1 < argc) {
            list = argv[++i];
        } else if (argument == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            return Usage();
        }
    }

    for (const Case& test : kCases) {
        const std::vector<std::uint8_t> atr = Bytes(test.atr);
        std::vector<double> warm;
        std::vector<double> cold;
        std::uint32_t length = 0;
        for (int run = 0; run < runs; ++run) {
            warm.push_back(TimeLookup(list, atr, length));
        }
        for (int run = 0; run < runs; ++run) {
            cold.push_back(TimeFirst(list, test.atr));
        }
        if (Failed(warm) || Failed(cold)) {
            std::fprintf(stderr, "zebrik_bench_card_names: the lookup in %s failed\n",
                         list.c_str());
            return 1;
        }
        const std::string label = std::string("card-name lookup, list included, ") + test.label;
        PrintRow(label + ", warm", warm, "bytes of names", length);
        PrintRow(label + ", first in a new process", cold, "bytes of names", length);
    }

    std::vector<double> warm;
    std::vector<double> cold;
    std::uint32_t lines = 0;
    for (int run = 0; run < runs; ++run) {
        warm.push_back(TimeReadingAlone(list, lines));
    }
    for (int run = 0; run < runs; ++run) {
        cold.push_back(TimeFirst(list, nullptr));
    }
    if (Failed(warm) || Failed(cold)) {
        std::fprintf(stderr, "zebrik_bench_card_names: cannot read %s\n", list.c_str());
        return 1;
    }
    PrintRow("reading the list alone, lines found, warm", warm, "lines", lines);
    PrintRow("reading the list alone, lines found, first in a new process", cold, "lines", lines);
    return 0;
}
