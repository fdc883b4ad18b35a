#include <string>

#include "core/cards/zka/commands.h"
#include "core/cards/zka/zka.h"
#include "core/report/text.h"

namespace zebrik {

// EF_ID of the card, record 1: serial number digits, short bank code, card number,
// expiry and activation date, country and currency, each at its fixed position.
int ReadZkaIdentification(ReportPane& pane, const CardConnection& card,
                          std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, zka::kSelectEfIdentification, zka::kReadRecord1},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    const auto at = [&record](std::size_t i) { return record.At(i); };

    // Nine whole bytes and the high nibble of the tenth: 19 digits.
    std::string serial = "\r\nSeriennummer:\t\t";
    for (std::size_t i = 0; i <= 8; ++i) {
        serial += Format("%02X", at(i));
    }
    serial += Format("%X\r\n", at(9) >> 4);
    AppendReport(pane.report, serial);

    AppendReport(pane.report, Format("\r\nKurz-BLZ:\t\t%02X%02X%02X\r\n", at(1), at(2), at(3)));
    AppendReport(pane.report, Format("Kartennummer:\t\t%02X%02X%02X%02X%02X\r\n", at(4), at(5),
                                     at(6), at(7), at(8)));
    // The card stores year first; the report shows month/year and day.month.year.
    AppendReport(pane.report, Format("Verfalldatum:\t\t%02X/%02X\r\n", at(11), at(10)));
    AppendReport(pane.report,
                 Format("Aktivierungsdatum:\t%02X.%02X.%02X\r\n", at(14), at(13), at(12)));
    AppendReport(pane.report, Format("Länderkennung:\t\t%02X%02X\r\n", at(15), at(16)));
    std::string currency = "Währung:\t\t";
    for (std::size_t i = 17; i <= 19; ++i) {
        AppendCardChar(currency, at(i));
    }
    currency += "\r\n";
    AppendReport(pane.report, currency);

    zka::CopyInto(destination, record, 10);
    return 1;
}

}  // namespace zebrik
