// The GSM 11.11 file status as two readers take it apart: the card-holder status of DF GSM
// (PIN query, counters, the up-front PIN or PUK prompt) and the status of a dialling-number
// file (file size, record length), which decides the records read.
//
// Byte 0 chooses: bit 0 the reader (0: CheckSimCardholder, 1: a dialling-number list), bit 1
// whether the card accepts VERIFY and UNBLOCK, bit 2 whether the card holder confirms. The
// rest (at most 256 bytes) is the status that every SELECT and READ RECORD returns.
#include "core/cards/sim/sim.h"
#include "fuzz.h"

namespace {

// The PIN query on, PIN1 initialised, PIN1 and PUK1 at 0, as the reader may see it: the
// status long enough and its GSM data announced.
bool BothCountersUsedUp(const std::string& status) {
    const auto byte = [&status](std::size_t i) { return static_cast<std::uint8_t>(status[i]); };
    return status.size() >= 22 && byte(12) >= 9 && (byte(13) & 0x80) == 0 &&
           (byte(18) & 0x80) != 0 && (byte(18) & 0x0F) == 0 && (byte(19) & 0x0F) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    using namespace std::string_literals;
    if (size == 0 || size > 257) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    const std::string status(data + 1, data + size);
    // Every prompt answered alike: PIN 12345678, or PUK 12345678 and new PIN 1234.
    const testing::Chunk answer{std::string(1, static_cast<char>(choice >> 2 & 1)) +
                                "123456781234"};
    const auto answers = testing::ScriptOf({answer, answer, answer, answer});
    testing::Script script(answers);
    testing::ScriptedResourceManager manager(script);
    manager.card = [&](std::span<const std::uint8_t> command) -> std::string {
        // SELECT and READ RECORD give the status; VERIFY and UNBLOCK work or are refused.
        if (command[1] == 0xA4 || command[1] == 0xB2) {
            return status + "\x90\0"s;
        }
        const bool chv = command[1] == 0x20 || command[1] == 0x2C;
        return !chv ? "\x6D\0"s : (choice & 2) != 0 ? "\x90\0"s : "\x98\x04"s;
    };
    testing::ScriptedPinPrompt prompt(script);
    testing::RuleWatch watch(manager, prompt);
    watch.keep = fuzz::kShowReport;
    watch.Opened(1);
    ReportAndPrompt pane{watch, watch};
    if ((choice & 1) == 0) {
        CheckSimCardholder(pane, CardConnection{watch, 1});
        fuzz::Require(!BothCountersUsedUp(status) || watch.prompts == 0,
                      "a prompt with PIN1 and PUK1 both at 0");
    } else {
        ReadAbbreviatedDiallingNumbers(pane, CardConnection{watch, 1});
    }
    fuzz::Done(watch);
    return 0;
}
