// zebrik_bench_measure: runs one program and prints one line of what it cost:
//   start_ns=N wall_ms=F user_ms=F sys_ms=F cpu_ms=F maxrss_kb=N status=N
// start_ns is CLOCK_MONOTONIC just before the fork, so a program that prints a time of
// its own on the same clock (the window's first paint) can be set against it. Standard
// input, output and error stay the caller's; the line goes to the file named with --out
// (appended), or to standard error.
//
//   zebrik_bench_measure [--out FILE] [--kill-after-ms N] -- PROGRAM [ARGUMENT]...
//
// --kill-after-ms ends the program with SIGTERM after that long (for a program that does
// not end by itself); its status is then 128 + the signal.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

long long NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double Ms(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_usec) / 1000.0;
}

int Usage() {
    std::fputs("usage: zebrik_bench_measure [--out FILE] [--kill-after-ms N] -- PROGRAM [ARG]...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* out = nullptr;
    long killAfterMs = 0;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string_view argument = argv[first];
        if (argument == "--") {
            ++first;
            break;
        }
        if (argument == "--out" && first + 1 < argc) {
            out = argv[++first];
        } else if (argument == "--kill-after-ms" && first + 1 < argc) {
            killAfterMs = std::strtol(argv[++first], nullptr, 10);
        } else {
            return Usage();
        }
    }
    if (first >= argc) {
        return Usage();
    }

    const long long start = NowNs();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "zebrik_bench_measure: %s: %s\n", argv[first], std::strerror(errno));
        _exit(127);
    }

    int status = 0;
    rusage usage{};
    if (killAfterMs > 0) {
        const long long deadline = start + killAfterMs * 1000000LL;
        while (wait4(child, &status, WNOHANG, &usage) == 0) {
            if (NowNs() >= deadline) {
                kill(child, SIGTERM);
                wait4(child, &status, 0, &usage);
                break;
            }
            usleep(1000);
        }
    } else {
        while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
        }
    }
    const long long end = NowNs();

    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE* stream = out ? std::fopen(out, "a") : stderr;
    if (!stream) {
        std::perror(out);
        return 1;
    }
    std::fprintf(stream,
                 "start_ns=%lld wall_ms=%.3f user_ms=%.3f sys_ms=%.3f cpu_ms=%.3f maxrss_kb=%ld "
                 "status=%d\n",
                 start, static_cast<double>(end - start) / 1e6, Ms(usage.ru_utime),
                 Ms(usage.ru_stime), Ms(usage.ru_utime) + Ms(usage.ru_stime), usage.ru_maxrss,
                 code);
    if (stream != stderr) {
        std::fclose(stream);
    }
    return 0;
}
