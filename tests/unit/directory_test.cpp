#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/cards/general/general.h"
#include "core/cards/general/tlv.h"
#include "general_test_support.h"
#include "sim/catalog.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::GeneralCardSession;

// ---- The EF.DIR record parser ----

struct RecordCase {
    const char* name;
    const char* record;
    bool parsed;
    const char* aid = "";
    const char* label = nullptr;  // none: the record carries no label
};

class DirectoryRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DirectoryRecordTest, FindsAidAndLabelOnlyWithinTheRecord) {
    const RecordCase& c = GetParam();
    const Bytes record = Hex(c.record);
    const auto entry = ParseDirectoryRecord(record);
    ASSERT_EQ(entry.has_value(), c.parsed);
    if (entry) {
        EXPECT_EQ(Bytes(entry->aid.begin(), entry->aid.end()), Hex(c.aid));
        ASSERT_EQ(entry->label.has_value(), c.label != nullptr);
        if (entry->label) {
            EXPECT_EQ(Bytes(entry->label->begin(), entry->label->end()), Hex(c.label));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, DirectoryRecordTest,
    ::testing::Values(
        RecordCase{"TemplateWithAidAndLabel", "61 0F 4F 06 D2 76 00 00 01 02 50 05 48 43 41 20 31",
                   true, "D2 76 00 00 01 02", "48 43 41 20 31"},
        RecordCase{"TemplateWithAidOnly", "61 09 4F 07 A0 00 00 00 87 10 02", true,
                   "A0 00 00 00 87 10 02"},
        RecordCase{"PaddingBehindTheTemplateIsIgnored",
                   "61 09 4F 07 A0 00 00 00 87 10 02 FF FF FF FF", true, "A0 00 00 00 87 10 02"},
        RecordCase{"AidWithoutTemplate", "4F 03 01 02 03 50 01 41", true, "01 02 03", "41"},
        RecordCase{"EmptyLabelIsThere", "61 06 4F 02 01 02 50 00 FF", true, "01 02", ""},
        RecordCase{"EmptyAid", "4F 00", true, ""},
        RecordCase{"LabelRunningPastTheRecordIsDropped", "4F 02 01 02 50 05 41 42", true, "01 02"},
        RecordCase{"SingleByteBehindTheAidIsIgnored", "4F 02 01 02 50", true, "01 02"},
        RecordCase{"OtherElementBehindTheAidIsIgnored", "4F 02 01 02 73 01 41", true, "01 02"},
        RecordCase{"ForeignFirstTag", "62 05 4F 03 01 02 03", false},
        RecordCase{"TemplateNotStartingWithAid", "61 04 50 02 41 42", false},
        RecordCase{"AidRunningPastTheRecord", "61 09 4F 08 A0 00 00 00 87 10 02", false},
        RecordCase{"TemplateRunningPastTheRecord", "61 20 4F 02 01 02", false},
        RecordCase{"EmptyTemplate", "61 00", false}, RecordCase{"EmptyRecord", "", false},
        RecordCase{"LoneTag", "4F", false}, RecordCase{"LoneTemplateTag", "61", false}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(TlvTest, ElementIsReadOnlyWhenItsValueFitsTheBytes) {
    const Bytes bytes = Hex("50 02 41 42 4F 03 01");
    const auto first = ReadTlv(bytes, 0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->tag, 0x50);
    EXPECT_EQ(first->value.size(), 2u);
    EXPECT_EQ(first->end, 4u);
    EXPECT_FALSE(ReadTlv(bytes, 4).has_value());
    EXPECT_FALSE(ReadTlv(bytes, 6).has_value());
    EXPECT_FALSE(ReadTlv(bytes, 7).has_value());
    EXPECT_FALSE(ReadTlv(bytes, 100).has_value());
}

// Every record of up to five bytes over the bytes that matter to the parser: whatever
// it hands out lies inside the record.
TEST(DirectoryRecordTest, ParsedSpansAlwaysLieWithinTheRecord) {
    constexpr std::array<std::uint8_t, 8> kAlphabet = {0x00, 0x01, 0x02, 0x03,
                                                       0x4F, 0x50, 0x61, 0xFF};
    for (std::size_t length = 0; length <= 5; ++length) {
        std::size_t combinations = 1;
        for (std::size_t i = 0; i < length; ++i) {
            combinations *= kAlphabet.size();
        }
        for (std::size_t code = 0; code < combinations; ++code) {
            Bytes record(length);
            for (std::size_t i = 0, rest = code; i < length; ++i, rest /= kAlphabet.size()) {
                record[i] = kAlphabet[rest % kAlphabet.size()];
            }
            const auto entry = ParseDirectoryRecord(record);
            if (!entry) {
                continue;
            }
            const auto inside = [&](std::span<const std::uint8_t> part) {
                return part.empty() || (part.data() >= record.data() &&
                                        part.data() + part.size() <= record.data() + length);
            };
            EXPECT_TRUE(inside(entry->aid)) << ::testing::PrintToString(record);
            EXPECT_TRUE(inside(entry->label.value_or(std::span<const std::uint8_t>())))
                << ::testing::PrintToString(record);
        }
    }
}

// ---- The reader against simulated cards ----

sim::CardDescription DirectoryCard(std::vector<Bytes> records,
                                   std::uint32_t protocol = kProtocolT1) {
    sim::CardDescription card;
    card.name = "test-directory";
    card.protocol = protocol;
    card.mf = sim::MasterFile({sim::RecordFile(0x2F00, std::move(records))});
    return card;
}

std::array<std::uint8_t, 16> FreshBuffer() {
    std::array<std::uint8_t, 16> buffer{};
    buffer[0] = 0xFF;
    return buffer;
}

Bytes ToBytes(std::span<const std::uint8_t> bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

TEST(ApplicationDirectoryTest, ListsEachRecordAndEndsWithTheLineOfTheMissingRecord) {
    GeneralCardSession session(DirectoryCard(
        {Hex("61 0F 4F 06 D2 76 00 00 01 02 50 05 48 43 41 20 31"), Hex("4F 03 E8 28 BD")}));
    auto buffer = FreshBuffer();

    EXPECT_EQ(ReadApplicationDirectory(session.pane, session.card, buffer,
                                       DirectoryVariant::GeneralFiles),
              1);

    EXPECT_EQ(session.report.text,
              "\r\nAnwendungen der Chipkarte...\r\n"
              "\r\nAnwendung 1\r\nAID: D27600000102\r\nLabel: HCA 1\r\n"
              "\r\nAnwendung 2\r\nAID: E828BD\r\n"
              "\r\nRecord Nummer 3 nicht vorhanden.\r\n");
    EXPECT_EQ(session.Commands(),
              (std::vector<std::string>{"00A4000C", "00A4020C022F00", "00B2010400", "00B2020400",
                                        "00B2030400"}));
    EXPECT_EQ(ToBytes(buffer), Hex("D2 76 00 00 01 02 FF FF FF FF FF FF FF FF FF FF"));
}

TEST(ApplicationDirectoryTest, ReadsTenRecordsAtMost) {
    std::vector<Bytes> records(12, Hex("4F 02 01 02"));
    GeneralCardSession session(DirectoryCard(records));

    EXPECT_EQ(
        ReadApplicationDirectory(session.pane, session.card, {}, DirectoryVariant::GeneralFiles),
        1);

    const auto commands = session.Commands();
    ASSERT_EQ(commands.size(), 12u);
    EXPECT_EQ(commands.back(), "00B20A0400");
    EXPECT_NE(session.report.text.find("\r\nAnwendung 10\r\n"), std::string::npos);
    EXPECT_EQ(session.report.text.find("Anwendung 11"), std::string::npos);
    EXPECT_EQ(session.report.text.find("Record"), std::string::npos);
}

TEST(ApplicationDirectoryTest, UnreadableRecordShowsNichtErmittelbarAndTheListGoesOn) {
    GeneralCardSession session(DirectoryCard(
        {Hex("62 05 4F 03 01 02 03"), Hex("61 09 4F 08 A0 00 00 00 87 10 02"), Hex("4F 01 42")}));

    EXPECT_EQ(
        ReadApplicationDirectory(session.pane, session.card, {}, DirectoryVariant::GeneralFiles),
        1);

    EXPECT_EQ(session.report.text,
              "\r\nAnwendungen der Chipkarte...\r\n"
              "\r\nAnwendung 1\r\nnicht ermittelbar\r\n"
              "\r\nAnwendung 2\r\nnicht ermittelbar\r\n"
              "\r\nAnwendung 3\r\nAID: 42\r\n"
              "\r\nRecord Nummer 4 nicht vorhanden.\r\n");
}

struct RefusedSelectCase {
    const char* name;
    sim::ScriptedAnswer refusal;
    const char* line;
};

class RefusedSelectTest : public ::testing::TestWithParam<RefusedSelectCase> {};

TEST_P(RefusedSelectTest, WritesOnlyTheRefusalAndLeavesTheBufferAlone) {
    sim::CardDescription card = DirectoryCard({Hex("4F 06 D2 76 00 00 01 02")});
    card.scripted.push_back(GetParam().refusal);
    GeneralCardSession session(std::move(card));
    auto buffer = FreshBuffer();

    EXPECT_EQ(ReadApplicationDirectory(session.pane, session.card, buffer,
                                       DirectoryVariant::GeneralFiles),
              0);

    EXPECT_EQ(session.report.text, GetParam().line);
    EXPECT_EQ(buffer, FreshBuffer());
}

INSTANTIATE_TEST_SUITE_P(
    Selects, RefusedSelectTest,
    ::testing::Values(RefusedSelectCase{"MasterFile",
                                        {Hex("00 A4 00 0C"), Hex("69 82")},
                                        "\r\nZugriff verweigert.\r\n"},
                      RefusedSelectCase{"DirectoryFile",
                                        {Hex("00 A4 02 0C 02 2F 00"), Hex("6A 82")},
                                        "\r\nDatei '2F00' nicht vorhanden.\r\n"}),
    [](const ::testing::TestParamInfo<RefusedSelectCase>& info) { return info.param.name; });

TEST(ApplicationDirectoryTest, UsimEntryFillsTheBufferAndTheRestStaysFF) {
    GeneralCardSession session(
        DirectoryCard({Hex("61 09 4F 07 A0 00 00 00 87 10 02")}, kProtocolT0));
    auto buffer = FreshBuffer();

    EXPECT_EQ(ReadApplicationDirectory(session.pane, session.card, buffer, DirectoryVariant::Usim),
              1);

    EXPECT_EQ(session.report.text,
              "\r\nAnwendungen der Chipkarte...\r\n"
              "\r\nAnwendung 1\r\nAID: A0000000871002\r\n"
              "\r\nRecord Nummer 2 nicht vorhanden.\r\n");
    EXPECT_EQ(ToBytes(buffer), Hex("A0 00 00 00 87 10 02 FF FF FF FF FF FF FF FF FF"));
}

TEST(ApplicationDirectoryTest, UsimVariantFetchesTheFileStatusAndRereadsWithTheProposedLength) {
    GeneralCardSession session(
        DirectoryCard({Hex("61 09 4F 07 A0 00 00 00 87 10 02")}, kProtocolT0));

    ReadApplicationDirectory(session.pane, session.card, {}, DirectoryVariant::Usim);

    const auto commands = session.Commands();
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ(commands[0], "00A40004");
    EXPECT_EQ(commands[1].substr(0, 8), "00C00000");
    EXPECT_EQ(commands[2], "00A40004022F00");
    EXPECT_EQ(commands[3].substr(0, 8), "00C00000");
    EXPECT_EQ(commands[4], "00B2010400");
    EXPECT_EQ(commands[5], "00B201040B");
}

TEST(ApplicationDirectoryTest, LaterMatchOverwritesAndBytesBehindAShorterCopyStay) {
    GeneralCardSession session(
        DirectoryCard({Hex("4F 0B A0 00 00 00 87 10 02 FF 49 11 22"),
                       Hex("4F 07 A0 00 00 00 87 10 04"),  // an ISIM: no match
                       Hex("4F 09 A0 00 00 00 87 10 02 FF 33")},
                      kProtocolT0));
    auto buffer = FreshBuffer();

    ReadApplicationDirectory(session.pane, session.card, buffer, DirectoryVariant::Usim);

    EXPECT_EQ(ToBytes(buffer), Hex("A0 00 00 00 87 10 02 FF 33 11 22 FF FF FF FF FF"));
}

TEST(ApplicationDirectoryTest, AidShorterThanTheFilterNeverMatches) {
    // The bytes behind the five-byte AID would complete the filter; they are not the AID.
    GeneralCardSession session(DirectoryCard({Hex("4F 05 A0 00 00 00 87 10 02")}, kProtocolT0));
    auto buffer = FreshBuffer();

    EXPECT_EQ(ReadApplicationDirectory(session.pane, session.card, buffer, DirectoryVariant::Usim),
              1);

    EXPECT_EQ(ToBytes(buffer), Bytes(16, 0xFF));
    EXPECT_NE(session.report.text.find("AID: A000000087\r\n"), std::string::npos);
}

TEST(ApplicationDirectoryTest, CopyStopsAtTheEndOfTheBuffer) {
    GeneralCardSession session(DirectoryCard({Hex("4F 08 D2 76 00 00 01 02 03 04")}));
    std::array<std::uint8_t, 8> guarded{};
    guarded.fill(0x55);
    const auto buffer = std::span(guarded).first(4);

    ReadApplicationDirectory(session.pane, session.card, buffer, DirectoryVariant::GeneralFiles);

    EXPECT_EQ(ToBytes(guarded), Hex("D2 76 00 00 55 55 55 55"));
}

TEST(ApplicationDirectoryTest, ListingIsTheSameWithoutABuffer) {
    const std::vector<Bytes> records = {Hex("61 0F 4F 06 D2 76 00 00 01 02 50 05 48 43 41 20 31")};
    GeneralCardSession withBuffer(DirectoryCard(records));
    GeneralCardSession without(DirectoryCard(records));
    auto buffer = FreshBuffer();

    ReadApplicationDirectory(withBuffer.pane, withBuffer.card, buffer,
                             DirectoryVariant::GeneralFiles);
    EXPECT_EQ(
        ReadApplicationDirectory(without.pane, without.card, {}, DirectoryVariant::GeneralFiles),
        1);

    EXPECT_EQ(without.report.text, withBuffer.report.text);
}

TEST(ApplicationDirectoryTest, EmptyLabelGivesItsLineAndAbsentLabelNone) {
    GeneralCardSession session(DirectoryCard({Hex("61 06 4F 02 01 02 50 00"), Hex("4F 01 03")}));

    ReadApplicationDirectory(session.pane, session.card, {}, DirectoryVariant::GeneralFiles);

    EXPECT_NE(session.report.text.find("\r\nAID: 0102\r\nLabel: \r\n\r\nAnwendung 2\r\n"
                                       "AID: 03\r\n\r\nRecord"),
              std::string::npos);
}

TEST(ApplicationDirectoryTest, LabelBytesAreWindows1252AndNulVanishes) {
    GeneralCardSession session(DirectoryCard({Hex("4F 01 42 50 05 C4 72 7A 74 00")}));

    ReadApplicationDirectory(session.pane, session.card, {}, DirectoryVariant::GeneralFiles);

    EXPECT_NE(session.report.text.find("\r\nAID: 42\r\nLabel: Ärzt\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zebrik
