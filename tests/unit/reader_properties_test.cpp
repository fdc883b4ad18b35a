#include "core/analysis/reader_properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::NumberAttribute;
using sim::TextAttribute;

constexpr const char* kHeading = "\r\nEigenschaften des Chipkartenlesers...\r\n";

sim::SimReader EmptyReader(std::map<std::uint32_t, Bytes> attributes) {
    sim::SimReader reader;
    reader.name = "Leser";
    reader.attributes = std::move(attributes);
    return reader;
}

// The properties of the manager's first reader, over a direct connection as the run makes it.
std::string PropertiesOf(sim::SimResourceManager& manager) {
    ContextHandle context = 0;
    CardHandle handle = 0;
    std::uint32_t protocol = 0;
    EXPECT_EQ(manager.EstablishContext(kScardScopeUser, context), kScardSuccess);
    EXPECT_EQ(manager.Connect(context, manager.readers.at(0).name, kShareDirect, kProtocolUndefined,
                              handle, protocol),
              kScardSuccess);
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    ReportReaderProperties(pane, CardConnection{manager, handle});
    return report.text;
}

std::string PropertiesOf(std::map<std::uint32_t, Bytes> attributes) {
    sim::SimResourceManager manager({EmptyReader(std::move(attributes))});
    return PropertiesOf(manager);
}

TEST(ReaderPropertiesTest, WritesAllTenAttributesInTheirOrder) {
    sim::SimResourceManager manager({EmptyReader({
        {kAttrMaxIfsd, NumberAttribute(254)},
        {kAttrMaxDataRate, NumberAttribute(344105)},
        {kAttrDefaultDataRate, NumberAttribute(10752)},
        {kAttrMaxClk, NumberAttribute(12000)},
        {kAttrDefaultClk, NumberAttribute(4000)},
        {kAttrChannelId, NumberAttribute(0x00200001)},
        {kAttrVendorIfdVersion, NumberAttribute(0x0A000102)},
        {kAttrVendorIfdType, TextAttribute("CCID-Leser")},
        {kAttrVendorName, TextAttribute("Zebrik", false)},
        {kAttrDeviceSystemName, TextAttribute("Zebrik Leser 0")},
    })});
    EXPECT_EQ(PropertiesOf(manager),
              "\r\nEigenschaften des Chipkartenlesers...\r\n"
              "Gerätename: Zebrik Leser 0\r\n"
              "Hersteller: Zebrik\r\n"
              "Modell: CCID-Leser\r\n"
              "Version: 10.0.258\r\n"
              "Schnittstelle: USB\r\n"
              "Standardtakt: 4000 kHz\r\n"
              "Maximaler Takt: 12000 kHz\r\n"
              "Standardübertragungsrate: 10752 bps\r\n"
              "Maximale Übertragungsrate: 344105 bps\r\n"
              "Maximale Informationsfeldgröße: 254 Byte\r\n");

    std::vector<std::uint32_t> asked;
    for (const sim::CallRecord& call : manager.Calls()) {
        if (call.call == sim::Call::GetAttrib) {
            asked.push_back(call.argument);
        }
    }
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{
                         kAttrDeviceSystemName, kAttrVendorName, kAttrVendorIfdType,
                         kAttrVendorIfdVersion, kAttrChannelId, kAttrDefaultClk, kAttrMaxClk,
                         kAttrDefaultDataRate, kAttrMaxDataRate, kAttrMaxIfsd}));
}

TEST(ReaderPropertiesTest, MissingAttributesAreLeftOutWithoutAWord) {
    EXPECT_EQ(PropertiesOf({}), kHeading);
    EXPECT_EQ(PropertiesOf({{kAttrVendorName, TextAttribute("Nur Hersteller")}}),
              std::string(kHeading) + "Hersteller: Nur Hersteller\r\n");
}

TEST(ReaderPropertiesTest, TextAttributeShowsNoTraceOfNulBytes) {
    const std::string expected = std::string(kHeading) + "Gerätename: abcd\r\n";
    EXPECT_EQ(PropertiesOf({{kAttrDeviceSystemName, TextAttribute("abcd", true)}}), expected);
    EXPECT_EQ(PropertiesOf({{kAttrDeviceSystemName, TextAttribute("abcd", false)}}), expected);
    EXPECT_EQ(PropertiesOf({{kAttrDeviceSystemName, Bytes{'a', 'b', 0, 'c', 'd', 0, 0}}}),
              expected);
}

TEST(ReaderPropertiesTest, TextAttributeBytesAreWindows1252) {
    EXPECT_EQ(PropertiesOf({{kAttrVendorName, Bytes{'G', 0xE4, 'r', 't', 'e', 'n', ' ', 0x80}}}),
              std::string(kHeading) + "Hersteller: Gärten €\r\n");
}

TEST(ReaderPropertiesTest, FullLengthTextMakesALongerLine) {
    EXPECT_EQ(PropertiesOf({{kAttrVendorIfdType, Bytes(256, 'M')}}),
              std::string(kHeading) + "Modell: " + std::string(256, 'M') + "\r\n");
}

struct VersionCase {
    std::uint32_t value;
    const char* line;
};

class ReaderVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ReaderVersionTest, SplitsMajorMinorAndBuild) {
    EXPECT_EQ(PropertiesOf({{kAttrVendorIfdVersion, NumberAttribute(GetParam().value)}}),
              std::string(kHeading) + GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Versions, ReaderVersionTest,
                         ::testing::Values(VersionCase{0x0A000102, "Version: 10.0.258\r\n"},
                                           VersionCase{0x01020003, "Version: 1.2.3\r\n"},
                                           VersionCase{0, "Version: 0.0.0\r\n"},
                                           VersionCase{0xFFFFFFFF, "Version: 255.255.65535\r\n"}));

struct ChannelCase {
    std::uint32_t value;
    const char* name;
};

class ReaderChannelTest : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ReaderChannelTest, NamesTheTypeInTheUpperSixteenBits) {
    EXPECT_EQ(PropertiesOf({{kAttrChannelId, NumberAttribute(GetParam().value)}}),
              std::string(kHeading) + "Schnittstelle: " + GetParam().name + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Channels, ReaderChannelTest,
    ::testing::Values(ChannelCase{0x00010000, "seriell"}, ChannelCase{0x00020003, "parallel"},
                      ChannelCase{0x00040000, "PS/2"}, ChannelCase{0x00080000, "SCSI"},
                      ChannelCase{0x00100000, "IDE"}, ChannelCase{0x0020FFFF, "USB"},
                      ChannelCase{0x00400001, "PCMCIA"},
                      ChannelCase{0x00F00000, "herstellerspezifisch"},
                      ChannelCase{0x00000020, "herstellerspezifisch"},
                      ChannelCase{0, "herstellerspezifisch"},
                      ChannelCase{0x00030000, "herstellerspezifisch"},
                      ChannelCase{0x00200000u | 0x01000000u, "herstellerspezifisch"}));

TEST(ReaderPropertiesTest, ShorterNumberAnswerCountsMissingHighBytesAsZero) {
    const std::uint16_t twoByteValue = 513;
    Bytes twoBytes(2);
    std::memcpy(twoBytes.data(), &twoByteValue, 2);
    EXPECT_EQ(PropertiesOf({{kAttrMaxIfsd, Bytes{0xFE}}, {kAttrDefaultClk, twoBytes}}),
              std::string(kHeading) +
                  "Standardtakt: 513 kHz\r\n"
                  "Maximale Informationsfeldgröße: 254 Byte\r\n");
}

TEST(ReaderPropertiesTest, EmptyOrOversizedNumberAnswerIsLeftOut) {
    EXPECT_EQ(PropertiesOf({{kAttrMaxClk, Bytes{}}, {kAttrMaxIfsd, Bytes(8, 1)}}), kHeading);
}

// A driver that claims more bytes than the buffer it was given can hold.
class OverclaimingManager : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    ResultCode GetAttrib(CardHandle card, std::uint32_t id, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        const ResultCode code = SimResourceManager::GetAttrib(card, id, value, length);
        length = 100000;
        return code;
    }
};

TEST(ReaderPropertiesTest, NeverReadsPastTheBufferWhateverLengthComesBack) {
    OverclaimingManager manager({EmptyReader(
        {{kAttrVendorName, TextAttribute("Hersteller")}, {kAttrMaxIfsd, NumberAttribute(254)}})});
    // The text line holds what the buffer holds; a number whose length exceeds its
    // four bytes is not taken.
    EXPECT_EQ(PropertiesOf(manager), std::string(kHeading) + "Hersteller: Hersteller\r\n");
}

}  // namespace
}  // namespace zebrik
