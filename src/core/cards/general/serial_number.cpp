#include <array>
#include <string>

#include "core/apdu/iso_commands.h"
#include "core/cards/general/general.h"
#include "core/report/text.h"

// The card's serial number from the general data file EF 2F02 (a tag-5A data object).
namespace zebrik {
namespace {

constexpr std::uint8_t kSerialNumberTag = 0x5A;

constexpr auto kSelectEfGeneralData = iso::SelectEf(0x2F, 0x02);
constexpr auto kReadBinaryWhole = iso::ReadBinary(0x00);

// The digits of the value, or nothing when the file holds no complete tag-5A object.
// The signature card keeps an odd number of digits: its last byte carries one digit and
// a filler, so only the high half of it is shown.
bool AppendSerialDigits(std::string& line, std::span<const std::uint8_t> data,
                        SerialNumberVariant variant) {
    if (data.size() < 2 || data[0] != kSerialNumberTag) {
        return false;
    }
    const std::size_t length = data[1];
    if (length > data.size() - 2) {
        return false;
    }
    const std::span<const std::uint8_t> value = data.subspan(2, length);
    if (variant == SerialNumberVariant::GeneralFiles) {
        AppendHexBytes(line, value);
        line += "\r\n";
        return true;
    }
    // Without a value byte there is no last digit to show.
    if (value.empty()) {
        return false;
    }
    AppendHexBytes(line, value.first(value.size() - 1));
    line += Format("%X\r\n", value.back() >> 4);
    return true;
}

}  // namespace

int ReadCardSerialNumber(ReportAndPrompt& pane, const CardConnection& card,
                         std::span<std::uint8_t> destination, SerialNumberVariant variant) {
    // A signature card takes the banking cards' SELECT of the MF by its identifier, a
    // general-file card the short one.
    const std::span<const std::uint8_t> selectMf =
        variant == SerialNumberVariant::SignatureCard
            ? std::span<const std::uint8_t>(iso::kSelectMfById)
            : std::span<const std::uint8_t>(iso::kSelectMf);
    ApduResponse file;
    if (SendInOrder(pane, card, SendPci::T1, {selectMf, kSelectEfGeneralData, kReadBinaryWhole},
                    file) == 0) {
        return 0;
    }
    std::string line = "\r\nSeriennummer: ";
    if (!AppendSerialDigits(line, file.Data(), variant)) {
        line += "nicht ermittelbar\r\n";
    }
    AppendReport(pane.report, line);
    CopyResponseData(destination, file, file.DataLength());
    return 1;
}

}  // namespace zebrik
