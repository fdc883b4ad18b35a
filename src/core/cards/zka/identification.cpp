#include <string>

#include "core/cards/zka/commands.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

namespace zebrik {

// EF_ID of the card, record 1: serial number digits, short bank code, card number,
// expiry and activation date, country and currency, each at its fixed position.
int ReadZkaIdentification(ReportAndPrompt& pane, const CardConnection& card,
                          std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T1,
                    {iso::kSelectMfById, zka::kSelectEfIdentification, zka::kReadRecord1},
                    response) == 0) {
        return 0;
    }
    const auto at = [&response](std::size_t i) { return response.DataAt(i); };

    // Nine whole bytes and the high nibble of the tenth: 19 digits.
    AppendReport(pane.report, "\r\nSeriennummer:\t\t" + zka::HexField(response, 0, 9) +
                                  Format("%X\r\n", at(9) >> 4));

    AppendReport(pane.report, "\r\nKurz-BLZ:\t\t" + zka::HexField(response, 1, 3) + "\r\n");
    AppendReport(pane.report, "Kartennummer:\t\t" + zka::HexField(response, 4, 5) + "\r\n");
    // The card stores year first; the report shows month/year and day.month.year.
    AppendReport(pane.report, Format("Verfalldatum:\t\t%02X/%02X\r\n", at(11), at(10)));
    AppendReport(pane.report,
                 Format("Aktivierungsdatum:\t%02X.%02X.%02X\r\n", at(14), at(13), at(12)));
    AppendReport(pane.report, "Länderkennung:\t\t" + zka::HexField(response, 15, 2) + "\r\n");
    std::string currency = "Währung:\t\t";
    for (std::size_t i = 17; i <= 19; ++i) {
        AppendCardChar(currency, at(i));
    }
    currency += "\r\n";
    AppendReport(pane.report, currency);

    CopyResponseData(destination, response, 10);
    return 1;
}

}  // namespace zebrik
