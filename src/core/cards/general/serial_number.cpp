#include <array>
#include <string>

#include "core/cards/general/general.h"
#include "core/cards/zka/commands.h"
#include "core/report/text.h"

// The card's serial number from the general data file EF 2F02 (a tag-5A data object), and
// the error counter of the signature PIN of a ZKA signature card.
namespace zebrik {
namespace {

constexpr std::uint8_t kSerialNumberTag = 0x5A;

// A general-file card is addressed with the short SELECT of the MF (no file identifier).
constexpr std::array<std::uint8_t, 4> kSelectMfShort = {0x00, 0xA4, 0x00, 0x0C};
constexpr auto kSelectEfGeneralData = zka::SelectEf(0x2F, 0x02);
constexpr std::array<std::uint8_t, 5> kReadBinaryWhole = {0x00, 0xB0, 0x00, 0x00, 0x00};

constexpr auto kSelectDfSignature = zka::SelectDf(0xAB, 0x00);

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

int ReadCardSerialNumber(ReportPane& pane, const CardConnection& card,
                         std::span<std::uint8_t> destination, SerialNumberVariant variant) {
    const std::span<const std::uint8_t> selectMf =
        variant == SerialNumberVariant::SignatureCard
            ? std::span<const std::uint8_t>(zka::kSelectMf)
            : std::span<const std::uint8_t>(kSelectMfShort);
    ApduResponse file;
    if (!zka::SendInOrder(pane, card, {selectMf, kSelectEfGeneralData, kReadBinaryWhole}, file)) {
        return 0;
    }
    std::string line = "\r\nSeriennummer: ";
    if (!AppendSerialDigits(line, file.Data(), variant)) {
        line += "nicht ermittelbar\r\n";
    }
    AppendReport(pane.report, line);
    zka::CopyInto(destination, zka::RecordData(file), file.DataLength());
    return 1;
}

int ReadSignaturePinCounter(ReportPane& pane, const CardConnection& card,
                            std::span<std::uint8_t> destination) {
    ApduResponse response;
    if (!zka::SendInOrder(pane, card,
                          {zka::kSelectMf, kSelectDfSignature, zka::kSelectEfErrorCounters,
                           zka::kReadRecord1FirstTwo},
                          response)) {
        return 0;
    }
    const zka::RecordData record(response);
    AppendReport(pane.report, Format("\r\nFehlbedienungszähler der Signatur-PIN: %u/%u\r\n",
                                     unsigned{record.At(1)}, unsigned{record.At(0)}));
    zka::CopyInto(destination, record, 2);
    return 1;
}

}  // namespace zebrik
