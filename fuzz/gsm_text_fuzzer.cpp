// The text decoders a SIM's bytes go through: swapped-nibble BCD (ICCID, IMSI), the GSM
// default alphabet, a whole dialling-number record, Windows-1252 card characters and the
// digits of a USIM application identifier. Everything they write must be UTF-8 without
// NUL bytes.
//
// Input: byte 0 is the record length of the dialling-number file (at least 14, as the
// file status reader makes sure), the rest is the record as the card sent it (it may be
// shorter or longer than the record length).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/cards/sim/dialling_numbers.h"
#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/sim/usim_aid.h"
#include "core/report/text.h"
#include "fuzz_fakes.h"

namespace {

class NoPrompt : public zebrik::PinPrompt {
public:
    bool AskPin(zebrik::PinEntryBuffer&) override { zebrik::fuzz::Finding("a prompt"); }
    bool AskPukAndNewPin(zebrik::PinUnblockBuffer&) override { zebrik::fuzz::Finding("a prompt"); }
};

void RequireText(const std::string& text) {
    if (text.find('\0') != std::string::npos || !zebrik::fuzz::IsValidUtf8(text)) {
        zebrik::fuzz::Finding("decoded card text that is not UTF-8 or holds a NUL");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    if (size == 0) {
        return 0;
    }
    const unsigned recordLength = std::max<unsigned>(data[0], kDiallingFixedPart);
    const std::vector<std::uint8_t> record(data + 1, data + size);

    RequireText(DiallingNumberLine(1, 255, record, recordLength));

    std::string digits;
    std::string gsm;
    std::string card;
    for (std::uint8_t byte : record) {
        AppendGsmChar(gsm, byte);
        AppendCardChar(card, byte);
    }
    AppendBcdDigits(digits, record, NibbleOrder::LowFirst);
    RequireText(digits);
    RequireText(gsm);
    RequireText(card);
    if (digits.size() > 2 * record.size()) {
        fuzz::Finding("more than two BCD digits from one byte");
    }

    std::array<std::uint8_t, 16> aid{};
    std::copy_n(record.begin(), std::min(record.size(), aid.size()), aid.begin());
    fuzz::CheckedReport report;
    NoPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    ReportUsimAid(pane, aid);
    return 0;
}
