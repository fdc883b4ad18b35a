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
//   zebrik_bench_card_names [--list FILE] [--runs N]
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The first lookup of a new process: this program, run with --first.
double TimeFirstLookup(const std::string& list, const char* atr) {
    char self[] = "/proc/self/exe";
    std::string listArgument = list;
    std::string atrArgument = atr;
    char first[] = "--first";
    char* arguments[] = {self, first, listArgument.data(), atrArgument.data(), nullptr};
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

void PrintRow(const char* label, const char* way, std::vector<double> times, std::uint32_t length) {
    std::sort(times.begin(), times.end());
    std::printf(
        "card-name lookup, list included, %s, %s: median %.3f ms (min %.3f, max %.3f; %zu runs, "
        "%u bytes of names)\n",
        label, way, times[times.size() / 2], times.front(), times.back(), times.size(), length);
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
            cold.push_back(TimeFirstLookup(list, test.atr));
        }
        if (*std::min_element(warm.begin(), warm.end()) < 0 ||
            *std::min_element(cold.begin(), cold.end()) < 0) {
            std::fprintf(stderr, "zebrik_bench_card_names: the lookup in %s failed\n",
                         list.c_str());
            return 1;
        }
        PrintRow(test.label, "warm", warm, length);
        PrintRow(test.label, "first in a new process", cold, length);
    }
    return 0;
}
