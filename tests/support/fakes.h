#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include "core/apdu/transmit.h"
#include "core/ports/pin_prompt.h"
#include "core/ports/report.h"

namespace zebrik::testing {

// A report that keeps the text, as the pane would show it.
class StringReport : public Report {
public:
    void Clear() override { text.clear(); }
    void Append(std::string_view utf8Text) override { text.append(utf8Text); }
    void DropSelection() override { ++selectionsDropped; }

    std::string text;
    int selectionsDropped = 0;
};

// One answer of the card holder: cancel, or confirm with the given texts.
struct PinAnswer {
    bool confirm = false;
    std::string pin;     // AskPin, or the PUK for AskPukAndNewPin
    std::string newPin;  // AskPukAndNewPin only
};

// Answers prompts from a queue; a prompt with no answer left cancels. Counts the asks.
class ScriptedPinPrompt : public PinPrompt {
public:
    ScriptedPinPrompt() = default;
    ScriptedPinPrompt(std::initializer_list<PinAnswer> list) : answers(list) {}

    bool AskPin(PinEntryBuffer& buffer) override {
        ++pinAsks;
        const PinAnswer answer = Next();
        if (answer.confirm) {
            Copy(buffer.pin.data(), answer.pin);
        }
        return answer.confirm;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        ++pukAsks;
        const PinAnswer answer = Next();
        if (answer.confirm) {
            Copy(buffer.Puk(), answer.pin);
            Copy(buffer.NewPin(), answer.newPin);
        }
        return answer.confirm;
    }

    std::deque<PinAnswer> answers;
    int pinAsks = 0;
    int pukAsks = 0;

private:
    PinAnswer Next() {
        if (answers.empty()) {
            return {};
        }
        PinAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // At most 8 characters and the NUL, as the dialogs store them.
    static void Copy(char* target, const std::string& text) {
        const std::size_t n = text.size() < 8 ? text.size() : 8;
        std::memcpy(target, text.data(), n);
        target[n] = '\0';
    }
};

}  // namespace zebrik::testing
