#include <windows.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/terminal_pin_prompt.h"
#include "core/ports/pin_prompt.h"

namespace zebrik::cli {

// Cancel() comes from the console's control handler, in a thread of its own: it marks every
// later question cancelled and aborts the console read under way.
struct TerminalPinPrompt::CancelSignal {
    std::atomic<bool> cancelled = false;
    std::atomic<HANDLE> input = nullptr;
};

namespace {

// One typed entry: at most 8 characters and the NUL, as the card-holder buffers hold it.
// Wiped when it goes, however the question ends.
struct Entry {
    std::array<char, kMaxPinLength + 1> chars{};

    Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { Wipe(); }
    void Wipe() { SecureWipe(chars.data(), chars.size()); }
};

constexpr std::string_view kTooLong =
    "Die Eingabe ist zu lang (höchstens 8 Zeichen). Bitte noch einmal.\r\n";
constexpr std::string_view kMismatch =
    "Die neue PIN und ihre Wiederholung sind verschieden. Bitte noch einmal.\r\n";

// Ctrl-Z at the start of a line is the console's end of input, as Ctrl-D is a terminal's.
constexpr char kEndOfInput = 0x1A;

enum class ReadResult { Entered, Empty, TooLong, EndOfInput };

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

    // Asks until an entry fits; false when the user cancels.
    bool Ask(std::string_view prompt, Entry& entry) const {
        for (;;) {
            Write(prompt);
            const ReadResult result = ReadLine(entry);
            if (result == ReadResult::Entered) {
                return true;
            }
            entry.Wipe();
            if (result != ReadResult::TooLong) {
                return false;
            }
            Write(kTooLong);
        }
    }

private:
    TerminalPinPrompt::CancelSignal& cancel_;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    DWORD saved_ = 0;
    bool usable_ = false;
};

bool SameEntry(const Entry& a, const Entry& b) {
    return std::strncmp(a.chars.data(), b.chars.data(), a.chars.size()) == 0;
}

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
    Entry pin;
    if (cancel_->cancelled) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    const QuietConsole console(*cancel_);
    if (!console.Usable() || !console.Ask("PIN-Code: ", pin)) {
        return false;
    }
    static_assert(sizeof buffer.pin == sizeof pin.chars);
    std::memcpy(buffer.pin.data(), pin.chars.data(), pin.chars.size());
    return true;
}

bool TerminalPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    Entry puk;
    Entry newPin;
    Entry repeated;
    if (cancel_->cancelled) {
        return false;
    }
    std::fflush(stdout);  // the report before the question
    const QuietConsole console(*cancel_);
    if (!console.Usable() || !console.Ask("PUK: ", puk)) {
        return false;
    }
    for (;;) {
        if (!console.Ask("Neue PIN: ", newPin) || !console.Ask("PIN wiederholen: ", repeated)) {
            return false;
        }
        if (SameEntry(newPin, repeated)) {
            break;
        }
        console.Write(kMismatch);
    }
    std::memcpy(buffer.Puk(), puk.chars.data(), puk.chars.size());
    std::memcpy(buffer.NewPin(), newPin.chars.data(), newPin.chars.size());
    return true;
}

}  // namespace zebrik::cli
