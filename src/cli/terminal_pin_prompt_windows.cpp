#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/terminal_pin_prompt.h"
#include "cli/terminal_questions.h"
#include "core/ports/pin_prompt.h"

namespace zebrik::cli {

// Cancel() comes from the console's control handler, in a thread of its own: it marks every
// later question cancelled and aborts the console read under way.
struct TerminalPinPrompt::CancelSignal {
    std::atomic<bool> cancelled = false;
    std::atomic<HANDLE> input = nullptr;
};

namespace {

using questions::Entry;
using questions::ReadResult;

// Ctrl-Z at the start of a line is the console's end of input, as Ctrl-D is a terminal's.
constexpr char kEndOfInput = 0x1A;

// The console's mode before the question, given back by the control handler when Ctrl-C,
// Ctrl-Break or the closing of the console ends the program while echo is off, so that
// the shell the user returns to shows what is typed. The handler passes the event on.
std::atomic<HANDLE> g_restoreInput = nullptr;
std::atomic<DWORD> g_savedMode = 0;

BOOL WINAPI RestoreConsoleMode(DWORD /*event*/) {
    if (const HANDLE input = g_restoreInput; input != nullptr) {
        SetConsoleMode(input, g_savedMode);
    }
    return FALSE;
}

HANDLE OpenConsole(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// The process's console with echo off for as long as this object lives. The console keeps
// its line editing; it only stops showing what is typed.
class QuietConsole {
public:
    static constexpr std::string_view kLineEnd = "\r\n";

    explicit QuietConsole(TerminalPinPrompt::CancelSignal& cancel) : cancel_(cancel) {
        input_ = OpenConsole("CONIN$");
        output_ = OpenConsole("CONOUT$");
        if (input_ == INVALID_HANDLE_VALUE || output_ == INVALID_HANDLE_VALUE ||
            !GetConsoleMode(input_, &saved_)) {
            return;  // no console: every question is cancelled
        }
        const DWORD quiet = (saved_ | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                            ~static_cast<DWORD>(ENABLE_ECHO_INPUT);
        g_savedMode = saved_;
        g_restoreInput = input_;
        SetConsoleCtrlHandler(RestoreConsoleMode, TRUE);
        usable_ = SetConsoleMode(input_, quiet) != 0;
        if (usable_) {
            cancel_.input = input_;
        }
    }

    ~QuietConsole() {
        if (usable_) {
            cancel_.input = nullptr;
            SetConsoleMode(input_, saved_);
        }
        if (g_restoreInput == input_) {
            SetConsoleCtrlHandler(RestoreConsoleMode, FALSE);
            g_restoreInput = nullptr;
        }
        for (const HANDLE handle : {input_, output_}) {
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            }
        }
    }

    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

    bool Usable() const { return usable_ && !cancel_.cancelled; }

    // The texts are UTF-8; the console is given them as UTF-16, whatever its code page.
    void Write(std::string_view text) const {
        const int size = static_cast<int>(text.size());
        std::wstring wide(static_cast<std::size_t>(size), L'\0');
        const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size);
        DWORD written = 0;
        WriteConsoleW(output_, wide.data(), static_cast<DWORD>(length), &written, nullptr);
    }

    // Reads one line. Only the first 8 characters are kept; a longer line is read to its
    // end and reported as too long, so nothing of it is left for the next question; so is a
    // line that starts with Ctrl-Z. A read that brings nothing (Ctrl-C aborts it, so does
    // Cancel()) ends the input at once.
    ReadResult ReadLine(Entry& entry) const {
        entry.Wipe();
        std::size_t count = 0;
        bool endOfInput = false;
        for (;;) {
            char c = 0;
            DWORD got = 0;
            const bool read = ReadConsoleA(input_, &c, 1, &got, nullptr) != 0;
            if (!read || got == 0 || cancel_.cancelled) {
                SecureWipe(&c, sizeof c);
                return ReadResult::EndOfInput;
            }
            if (c == '\n') {
                break;
            }
            if (c == kEndOfInput && count == 0) {
                endOfInput = true;
            } else if (c != '\r') {
                if (count < kMaxPinLength) {
                    entry.chars[count] = c;
                }
                ++count;
            }
            SecureWipe(&c, sizeof c);
        }
        Write("\r\n");  // the Enter key that was not echoed
        if (endOfInput) {
            entry.Wipe();
            return ReadResult::EndOfInput;
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
    TerminalPinPrompt::CancelSignal& cancel_;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    DWORD saved_ = 0;
    bool usable_ = false;
};

}  // namespace

TerminalPinPrompt::TerminalPinPrompt() : cancel_(std::make_unique<CancelSignal>()) {}

TerminalPinPrompt::~TerminalPinPrompt() = default;

void TerminalPinPrompt::Cancel() {
    cancel_->cancelled = true;
    if (const HANDLE input = cancel_->input; input != nullptr) {
        CancelIoEx(input, nullptr);
    }
}

bool TerminalPinPrompt::AskPin(PinEntryBuffer& buffer) {
    if (cancel_->cancelled) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    return questions::AskPin(QuietConsole(*cancel_), buffer);
}

bool TerminalPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    if (cancel_->cancelled) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    return questions::AskPukAndNewPin(QuietConsole(*cancel_), buffer);
}

}  // namespace zebrik::cli
