#include "core/analysis/reader_properties.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <string_view>

#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::size_t kTextAttributeBytes = 256;
constexpr std::size_t kNumberAttributeBytes = 4;

struct ChannelType {
    std::uint32_t type;
    std::string_view name;
};

constexpr std::array<ChannelType, 7> kChannelTypes = {{
    {0x0001, "seriell"},
    {0x0002, "parallel"},
    {0x0004, "PS/2"},
    {0x0008, "SCSI"},
    {0x0010, "IDE"},
    {0x0020, "USB"},
    {0x0040, "PCMCIA"},
}};

struct NumberProperty {
    std::uint32_t id;
    std::string_view prefix;
    std::string_view unit;
};

constexpr std::array<NumberProperty, 5> kNumberProperties = {{
    {kAttrDefaultClk, "Standardtakt: ", " kHz"},
    {kAttrMaxClk, "Maximaler Takt: ", " kHz"},
    {kAttrDefaultDataRate, "Standardübertragungsrate: ", " bps"},
    {kAttrMaxDataRate, "Maximale Übertragungsrate: ", " bps"},
    {kAttrMaxIfsd, "Maximale Informationsfeldgröße: ", " Byte"},
}};

// The channel value carries the type in its upper 16 bits and the channel number, which
// the report does not show, in the lower 16.
std::string_view ChannelTypeName(std::uint32_t channel) {
    const std::uint32_t type = channel >> 16;
    for (const ChannelType& entry : kChannelTypes) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    return "herstellerspezifisch";
}

// A numeric attribute in the platform's byte order. A driver that answers with fewer
// than four bytes gives a narrower number, so the bytes it left out count as high-order
// zeros. An empty answer, or a length beyond the buffer, is no number at all and leaves
// the property out like any other unavailable one.
bool ReadNumberAttribute(const CardConnection& reader, std::uint32_t id, std::uint32_t& value) {
    std::array<std::uint8_t, kNumberAttributeBytes> answer{};
    std::uint32_t length = kNumberAttributeBytes;
    if (reader.manager.GetAttrib(reader.handle, id, answer, length) != kScardSuccess ||
        length == 0 || length > answer.size()) {
        return false;
    }
    std::array<std::uint8_t, kNumberAttributeBytes> word{};
    if constexpr (std::endian::native == std::endian::big) {
        std::copy_n(answer.begin(), length, word.end() - length);
    } else {
        std::copy_n(answer.begin(), length, word.begin());
    }
    value = std::bit_cast<std::uint32_t>(word);
    return true;
}

// Every byte the driver returned is shown as a character; a NUL it counted adds nothing.
// A long text makes a long line rather than being cut.
void ReportTextAttribute(ReportAndPrompt& pane, const CardConnection& reader, std::uint32_t id,
                         std::string_view prefix) {
    std::array<std::uint8_t, kTextAttributeBytes> text{};
    std::uint32_t length = kTextAttributeBytes;
    if (reader.manager.GetAttrib(reader.handle, id, text, length) != kScardSuccess) {
        return;
    }
    std::string line(prefix);
    AppendCardText(line, std::span<const std::uint8_t>(text).first(
                             std::min<std::size_t>(length, text.size())));
    line += "\r\n";
    AppendReport(pane.report, line);
}

}  // namespace

void ReportReaderProperties(ReportAndPrompt& pane, const CardConnection& reader) {
    AppendReport(pane.report, "\r\nEigenschaften des Chipkartenlesers...\r\n");
    ReportTextAttribute(pane, reader, kAttrDeviceSystemName, "Gerätename: ");
    ReportTextAttribute(pane, reader, kAttrVendorName, "Hersteller: ");
    ReportTextAttribute(pane, reader, kAttrVendorIfdType, "Modell: ");

    std::uint32_t value = 0;
    if (ReadNumberAttribute(reader, kAttrVendorIfdVersion, value)) {
        AppendReport(pane.report,
                     Format("Version: %u.%u.%u\r\n", static_cast<unsigned>(value >> 24),
                            static_cast<unsigned>((value >> 16) & 0xFF),
                            static_cast<unsigned>(value & 0xFFFF)));
    }
    if (ReadNumberAttribute(reader, kAttrChannelId, value)) {
        AppendReport(pane.report, "Schnittstelle: " + std::string(ChannelTypeName(value)) + "\r\n");
    }
    for (const NumberProperty& property : kNumberProperties) {
        if (ReadNumberAttribute(reader, property.id, value)) {
            AppendReport(pane.report, std::string(property.prefix) + std::to_string(value) +
                                          std::string(property.unit) + "\r\n");
        }
    }
}

}  // namespace zebrik
