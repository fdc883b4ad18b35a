#include "cli/terminal_pin_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "cli/terminal_questions.h"
#include "core/ports/pin_prompt.h"

namespace zebrik::cli {

// A byte in this pipe means: cancelled. The question waits on it beside the terminal.
struct TerminalPinPrompt::CancelSignal {
    int read = -1;
    int write = -1;
};

namespace {

using questions::Entry;
using questions::ReadResult;

// Signals that end the program while echo is off. The handler gives the terminal its
// saved mode back before the signal takes its default course, so the shell the user
// returns to still shows what is typed.
constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile std::sig_atomic_t g_restoreFd = -1;
termios g_savedMode{};

extern "C" void RestoreTerminalAndEnd(int signal) {
    const int fd = g_restoreFd;
    if (fd >= 0) {
        tcsetattr(fd, TCSANOW, &g_savedMode);
    }
    // SA_RESETHAND has put the default action back; it runs once this handler returns.
    raise(signal);
}

// The controlling terminal with echo off for as long as this object lives.
class QuietTerminal {
public:
    static constexpr std::string_view kLineEnd = "\n";

    explicit QuietTerminal(int cancelFd) : cancelFd_(cancelFd) {
        fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) {
            return;  // no controlling terminal: every question is cancelled
        }
        if (tcgetattr(fd_, &saved_) != 0) {
            close(fd_);
            fd_ = -1;
            return;
        }
        g_savedMode = saved_;
        g_restoreFd = fd_;
        struct sigaction action {};
        action.sa_handler = RestoreTerminalAndEnd;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            sigaction(kEndingSignals[i], nullptr, &previous_[i]);
            // A signal the caller chose to ignore stays ignored.
            if (previous_[i].sa_handler != SIG_IGN) {
                sigaction(kEndingSignals[i], &action, nullptr);
            }
        }
        termios quiet = saved_;
        // No echo, but the Enter key still moves to the next line.
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
        quiet.c_lflag |= ECHONL | ICANON;
        tcsetattr(fd_, TCSAFLUSH, &quiet);
    }

    ~QuietTerminal() {
        if (fd_ < 0) {
            return;
        }
        tcsetattr(fd_, TCSANOW, &saved_);
        g_restoreFd = -1;
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
        close(fd_);
    }

    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

    bool Usable() const { return fd_ >= 0; }

    void Write(std::string_view text) const {
        while (!text.empty()) {
            const ssize_t written = write(fd_, text.data(), text.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return;
            }
            text.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    // Reads one line. Only the first 8 characters are kept; a longer line is read to its
    // end and reported as too long, so nothing of it is left for the next question.
    ReadResult ReadLine(Entry& entry) const {
        entry.Wipe();
        std::size_t count = 0;
        for (;;) {
            if (!WaitForInput()) {
                return ReadResult::EndOfInput;
            }
            char c = 0;
            const ssize_t got = read(fd_, &c, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                SecureWipe(&c, sizeof c);
                return ReadResult::EndOfInput;
            }
            if (c == '\n') {
                break;
            }
            if (count < kMaxPinLength) {
                entry.chars[count] = c;
            }
            ++count;
            SecureWipe(&c, sizeof c);
        }
        if (count == 0) {
            return ReadResult::Empty;
        }
        if (count > kMaxPinLength) {
            return ReadResult::TooLong;
        }
        entry.chars[count] = '\0';
        return ReadResult::Entered;
    }

private:
    // Waits until the terminal has input or the question is cancelled; false: cancelled.
    bool WaitForInput() const {
        std::array<pollfd, 2> fds{{{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}}};
        while (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno != EINTR) {
                return true;  // let the read tell what is wrong
            }
        }
        return fds[1].revents == 0;
    }

    int cancelFd_;
    int fd_ = -1;
    termios saved_{};
    std::array<struct sigaction, kEndingSignals.size()> previous_{};
};

bool IsReadable(int fd) {
    pollfd one{fd, POLLIN, 0};
    return poll(&one, 1, 0) > 0 && one.revents != 0;
}

}  // namespace

TerminalPinPrompt::TerminalPinPrompt() : cancel_(std::make_unique<CancelSignal>()) {
    std::array<int, 2> fds{-1, -1};
    if (pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
        cancel_->read = fds[0];
        cancel_->write = fds[1];
    }
}

TerminalPinPrompt::~TerminalPinPrompt() {
    for (const int fd : {cancel_->read, cancel_->write}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void TerminalPinPrompt::Cancel() {
    const char byte = 1;
    // The pipe is never read, so one byte keeps every later question cancelled; a full
    // pipe (EAGAIN) is cancelled as well.
    [[maybe_unused]] const ssize_t written = write(cancel_->write, &byte, 1);
}

bool TerminalPinPrompt::AskPin(PinEntryBuffer& buffer) {
    if (IsReadable(cancel_->read)) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    return questions::AskPin(QuietTerminal(cancel_->read), buffer);
}

bool TerminalPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    if (IsReadable(cancel_->read)) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    return questions::AskPukAndNewPin(QuietTerminal(cancel_->read), buffer);
}

}  // namespace zebrik::cli
