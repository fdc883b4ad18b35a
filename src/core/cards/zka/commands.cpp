#include "core/cards/zka/commands.h"

#include "core/report/text.h"

namespace zebrik::zka {

std::string HexField(const ApduResponse& record, std::size_t first, std::size_t count) {
    const std::span<const std::uint8_t> received = record.DataBytes(first, count);
    std::string digits;
    AppendHexBytes(digits, received);
    digits.append(2 * (count - received.size()), '0');
    return digits;
}

std::string TwoByteText(const ApduResponse& record, TwoByteValue kind) {
    return kind == TwoByteValue::ErrorCounter
               ? Format("%u/%u", unsigned{record.DataAt(1)}, unsigned{record.DataAt(0)})
               : Format("%02X%02X", record.DataAt(0), record.DataAt(1));
}

int ReadTwoByteRecord(ReportAndPrompt& pane, const CardConnection& card, const SelectCommand& df,
                      const SelectCommand& ef, std::string_view label, TwoByteValue kind,
                      std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T1, {iso::kSelectMfById, df, ef, kReadRecord1FirstTwo},
                    response) == 0) {
        return 0;
    }
    std::string line = "\r\n";
    line += label;
    line += TwoByteText(response, kind);
    line += "\r\n";
    AppendReport(pane.report, line);
    CopyResponseData(destination, response, 2);
    return 1;
}

}  // namespace zebrik::zka
