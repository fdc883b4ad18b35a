// The text decoders a SIM's bytes go through: swapped-nibble BCD, the GSM default alphabet,
// a whole dialling-number record, Windows-1252 card characters and the digits of a USIM
// identifier. All they write must be UTF-8 without NUL.
//
// Byte 0 is the record length of the dialling-number file (at least 14, as the file status
// reader makes sure), the rest the record as the card sent it, shorter or longer.
#include "core/cards/sim/dialling_numbers.h"
#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/sim/usim_aid.h"
#include "core/report/text.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    if (size == 0) {
        return 0;
    }
    const std::vector<std::uint8_t> record(data + 1, data + size);
    fuzz::RequireText(
        DiallingNumberLine(1, 255, record, std::max<unsigned>(data[0], kDiallingFixedPart)));
    std::string digits, gsm, card;
    for (const std::uint8_t byte : record) {
        AppendGsmChar(gsm, byte);
        AppendCardChar(card, byte);
    }
    AppendBcdDigits(digits, record, NibbleOrder::LowFirst);
    fuzz::RequireText(digits + gsm + card);
    fuzz::Require(digits.size() <= 2 * record.size(), "more than two BCD digits from one byte");

    std::array<std::uint8_t, 16> aid{};
    std::copy_n(record.begin(), std::min(record.size(), aid.size()), aid.begin());
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    ReportUsimAid(pane, aid);
    fuzz::RequireText(report.text);
    fuzz::Require(prompt.pinAsks + prompt.pukAsks == 0, "a prompt from a USIM identifier");
    return 0;
}
