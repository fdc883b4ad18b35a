// The GSM 11.11 file status (9.2.1) as two readers take it apart: the card-holder status
// of DF GSM (PIN query, counters, the up-front PIN or PUK prompt) and the status of a
// dialling-number EF (file size, record length) that decides which records are read.
//
// Input: byte 0 chooses: bit 0 the reader (0: CheckSimCardholder, 1: a dialling-number
// list), bit 1 whether the card accepts VERIFY and UNBLOCK, bit 2 whether the card holder
// confirms the prompt. The rest (at most 256 bytes) is the status every SELECT returns;
// each READ RECORD returns it, too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/cards/sim/sim.h"
#include "fuzz_fakes.h"

namespace {

using zebrik::CardHandle;
using zebrik::ContextHandle;
using zebrik::ResultCode;
using zebrik::fuzz::Finding;

class StatusCard : public zebrik::ResourceManager {
public:
    StatusCard(std::vector<std::uint8_t> status, bool accepts, zebrik::fuzz::PinWatch& watch)
        : status_(std::move(status)), accepts_(accepts), watch_(watch) {}

    ResultCode EstablishContext(std::uint32_t, ContextHandle&) override { Unexpected(); }
    ResultCode ListReaders(ContextHandle, std::span<char>, std::uint32_t&) override {
        Unexpected();
    }
    ResultCode GetStatusChange(ContextHandle, std::uint32_t, zebrik::ReaderState&) override {
        Unexpected();
    }
    ResultCode ListCards(ContextHandle, std::span<const std::uint8_t>, std::span<char>,
                         std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Connect(ContextHandle, const std::string&, std::uint32_t, std::uint32_t, CardHandle&,
                       std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Status(CardHandle, std::span<char>, std::uint32_t&, std::uint32_t&, std::uint32_t&,
                      std::span<std::uint8_t>, std::uint32_t&) override {
        Unexpected();
    }
    ResultCode GetAttrib(CardHandle, std::uint32_t, std::span<std::uint8_t>,
                         std::uint32_t&) override {
        Unexpected();
    }
    ResultCode Transmit(CardHandle, zebrik::SendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        watch_.Transmitted(command);
        std::vector<std::uint8_t> answer;
        const std::uint8_t ins = command.size() > 1 ? command[1] : 0;
        if (ins == 0xA4 || ins == 0xB2) {
            answer = status_;
            answer.push_back(0x90);
            answer.push_back(0x00);
        } else if (ins == 0x20 || ins == 0x2C) {
            answer = accepts_ ? std::vector<std::uint8_t>{0x90, 0x00}
                              : std::vector<std::uint8_t>{0x98, 0x04};
        } else {
            answer = {0x6D, 0x00};
        }
        const std::size_t n = std::min<std::size_t>({answer.size(), response.size(), length});
        std::copy_n(answer.begin(), n, response.begin());
        length = static_cast<std::uint32_t>(n);
        return zebrik::kScardSuccess;
    }
    ResultCode Disconnect(CardHandle, std::uint32_t) override { Unexpected(); }
    ResultCode ReleaseContext(ContextHandle) override { Unexpected(); }

private:
    [[noreturn]] static void Unexpected() { Finding("a reader called more than Transmit"); }

    std::vector<std::uint8_t> status_;
    bool accepts_;
    zebrik::fuzz::PinWatch& watch_;
};

// The chunk of one prompt answer: confirm with PIN 1234, or PUK 12345678 and PIN 1234.
std::vector<std::uint8_t> PromptAnswers(bool confirm) {
    zebrik::fuzz::ChunkWriter writer;
    const std::vector<std::uint8_t> body = {confirm ? std::uint8_t{1} : std::uint8_t{0},
                                            '1',
                                            '2',
                                            '3',
                                            '4',
                                            '5',
                                            '6',
                                            '7',
                                            '8',
                                            '1',
                                            '2',
                                            '3',
                                            '4'};
    for (int i = 0; i < 4; ++i) {
        writer.Body(body);
    }
    return writer.Bytes();
}

// GSM 11.11: PIN query on, PIN1 initialised, PIN1 and PUK1 both at 0, as the reader may
// see it (the status long enough and its GSM data announced).
bool BothCountersUsedUp(const std::vector<std::uint8_t>& status) {
    const std::size_t received = status.size() + 2;
    return received >= 24 && status[12] >= 9 && (status[13] & 0x80) == 0 &&
           (status[18] & 0x80) != 0 && (status[18] & 0x0F) == 0 && (status[19] & 0x0F) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    if (size == 0 || size > 257) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    std::vector<std::uint8_t> status(data + 1, data + size);

    fuzz::PinWatch watch;
    fuzz::CheckedReport report;
    const std::vector<std::uint8_t> answers = PromptAnswers((choice & 4) != 0);
    fuzz::ChunkReader promptInput(answers);
    fuzz::FuzzPinPrompt prompt(promptInput, watch);
    StatusCard card(status, (choice & 2) != 0, watch);
    ReportAndPrompt pane{report, prompt};
    const CardConnection connection{card, 1};

    if ((choice & 1) == 0) {
        CheckSimCardholder(pane, connection);
        if (BothCountersUsedUp(status) && watch.verifySent + watch.unblockSent != 0) {
            Finding("VERIFY or UNBLOCK with PIN1 and PUK1 both at 0");
        }
    } else {
        ReadAbbreviatedDiallingNumbers(pane, connection);
    }
    return 0;
}
