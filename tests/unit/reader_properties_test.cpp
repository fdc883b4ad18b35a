#include "core/analysis/reader_properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

// What a reader driver answers to the attribute queries, and the lines it gives. All ten
// attributes in their order show in the demo's report (tests/unit/data/reports/demo.txt),
// none in the vpcd readers' reports.
namespace zebrik {
namespace {

using sim::Bytes;
using sim::NumberAttribute;
using sim::TextAttribute;

// A driver that claims more bytes than the buffer it was given can hold.
class OverclaimingManager : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    bool overclaim = false;
    ResultCode GetAttrib(CardHandle card, std::uint32_t id, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        const ResultCode code = SimResourceManager::GetAttrib(card, id, value, length);
        length = overclaim ? 100000 : length;
        return code;
    }
};

// The lines after the heading, over a direct connection as the run makes it.
std::string PropertiesOf(std::map<std::uint32_t, Bytes> attributes, bool overclaim = false) {
    sim::SimReader reader;
    reader.name = "Leser";
    reader.attributes = std::move(attributes);
    OverclaimingManager manager({reader});
    manager.overclaim = overclaim;
    ContextHandle context = 0;
    CardHandle handle = 0;
    std::uint32_t protocol = 0;
    manager.EstablishContext(kScardScopeUser, context);
    manager.Connect(context, "Leser", kShareDirect, kProtocolUndefined, handle, protocol);
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    ReportReaderProperties(pane, CardConnection{manager, handle});
    const std::string heading = "\r\nEigenschaften des Chipkartenlesers...\r\n";
    EXPECT_TRUE(report.text.starts_with(heading));
    return report.text.substr(heading.size());
}

Bytes TwoByteNumber(std::uint16_t value) {
    Bytes bytes(2);
    std::memcpy(bytes.data(), &value, 2);
    return bytes;
}

TEST(ReaderPropertiesTest, WhatTheDriverAnswersGivesTheLines) {
    struct Case {
        std::map<std::uint32_t, Bytes> attributes;
        std::string lines;
    };
    const Case cases[] = {
        // No trace of NUL bytes, counted or not; the bytes are Windows-1252.
        {{{kAttrDeviceSystemName, Bytes{'a', 'b', 0, 'c', 'd', 0, 0}},
          {kAttrVendorName, TextAttribute("G\xE4rten \x80", false)}},
         "Gerätename: abcd\r\nHersteller: Gärten €\r\n"},
        // A text of the full 256 bytes makes a longer line.
        {{{kAttrVendorIfdType, Bytes(256, 'M')}}, "Modell: " + std::string(256, 'M') + "\r\n"},
        {{{kAttrVendorIfdVersion, NumberAttribute(0xFFFFFFFF)}}, "Version: 255.255.65535\r\n"},
        {{{kAttrVendorIfdVersion, NumberAttribute(0x01020003)}}, "Version: 1.2.3\r\n"},
        // The channel's type is its upper 16 bits.
        {{{kAttrChannelId, NumberAttribute(0x0020FFFF)}}, "Schnittstelle: USB\r\n"},
        {{{kAttrChannelId, NumberAttribute(0x00400001)}}, "Schnittstelle: PCMCIA\r\n"},
        {{{kAttrChannelId, NumberAttribute(0x00030000)}},
         "Schnittstelle: herstellerspezifisch\r\n"},
        {{{kAttrChannelId, NumberAttribute(0x01200000)}},
         "Schnittstelle: herstellerspezifisch\r\n"},
        // A shorter number counts the missing high bytes as zero; none, or more than four
        // bytes, is no number.
        {{{kAttrMaxIfsd, Bytes{0xFE}}, {kAttrDefaultClk, TwoByteNumber(513)}},
         "Standardtakt: 513 kHz\r\nMaximale Informationsfeldgröße: 254 Byte\r\n"},
        {{{kAttrMaxClk, Bytes{}}, {kAttrMaxIfsd, Bytes(8, 1)}}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PropertiesOf(c.attributes), c.lines);
    }
}

TEST(ReaderPropertiesTest, NothingIsReadPastTheBufferWhateverLengthComesBack) {
    EXPECT_EQ(PropertiesOf({{kAttrVendorName, TextAttribute("Hersteller")},
                            {kAttrMaxIfsd, NumberAttribute(254)}},
                           true),
              "Hersteller: Hersteller\r\n");
}

}  // namespace
}  // namespace zebrik
