#include "core/cards/sim/usim_aid.h"

#include <string>

#include "core/report/text.h"

namespace zebrik {
namespace {

// A field of BCD digits, high nibble first; a nibble F is filler and left out.
std::string DigitLine(const char* label, std::span<const std::uint8_t> digits) {
    std::string line = label;
    AppendBcdDigits(line, digits, NibbleOrder::HighFirst);
    line += "\r\n";
    return line;
}

}  // namespace

void ReportUsimAid(ReportAndPrompt& pane, std::span<const std::uint8_t, 16> aid) {
    AppendReport(pane.report, "\r\n3G-USIM-Applikation vorhanden...\r\n");
    AppendReport(pane.report,
                 Format("RID: %02X%02X%02X%02X%02X\r\n", aid[0], aid[1], aid[2], aid[3], aid[4]));
    AppendReport(pane.report, Format("Anwendungscode: %02X%02X\r\n", aid[5], aid[6]));
    AppendReport(pane.report, DigitLine("Ländercode: ", aid.subspan(7, 2)));
    AppendReport(pane.report, DigitLine("Kartenherausgeber: ", aid.subspan(9, 2)));
    AppendReport(pane.report, Format("Industriecode: %02X\r\n", aid[11]));
    AppendReport(pane.report,
                 Format("Spezifikationsversion: %X.%X.%X\r\n", aid[12], aid[13], aid[14]));
}

}  // namespace zebrik
