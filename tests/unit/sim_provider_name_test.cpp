#include <gtest/gtest.h>

#include <string>

#include "core/cards/sim/sim.h"
#include "gsm_test_support.h"

namespace zebrik {
namespace {

using sim::Hex;
using testing::CatalogCard;
using testing::FileOf;
using testing::GsmSession;

struct NameCase {
    const char* name;
    const char* content;  // EF SPN
    const char* shown;
};

class ProviderNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProviderNameTest, ShowsTheNameUpToTheFirstFf) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6F46).content = Hex(GetParam().content);
    GsmSession session(std::move(card));
    EXPECT_EQ(ReadServiceProviderName(session.pane, session.card), 1);
    EXPECT_EQ(session.report.text, std::string("\r\nProvider: ") + GetParam().shown + "\r\n");
    EXPECT_EQ(session.CommandsWithIns(0xB0).front(), "A0 B0 00 00 11");
}

std::string CaseName(const ::testing::TestParamInfo<NameCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProviderNameTest,
    ::testing::Values(
        NameCase{"DisplayConditionNeverPrinted",
                 "01 41 42 43 FF FF FF FF FF FF FF FF FF FF FF FF FF", "ABC"},
        NameCase{"SixteenCharactersWithoutFf", "00 5A 65 62 72 69 6B 20 4D 6F 62 69 6C 66 75 6E 6B",
                 "Zebrik Mobilfunk"},
        NameCase{"AllUnused", "00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF", ""},
        NameCase{"EscapeIsANoBreakSpace", "00 41 1B 42 FF FF FF FF FF FF FF FF FF FF FF FF FF",
                 "A\u00A0B"},
        NameCase{"NationalCharacters", "00 00 5B 7E 0A 0D FF FF FF FF FF FF FF FF FF FF FF",
                 "@Äü\n\r"},
        // The UCS2 forms of GSM 11.11 are not recognised: each byte is a GSM character.
        NameCase{"Ucs2TakenByteByByte", "00 80 00 41 00 42 FF FF FF FF FF FF FF FF FF FF FF",
                 "@@A@B"},
        // The card proposes its shorter length and the read is repeated with it.
        NameCase{"ShorterFile", "01 41 42 43", "ABC"}),
    CaseName);

TEST(ProviderNameTest, MissingFileWritesNoProviderLine) {
    sim::CardDescription card = CatalogCard("sim");
    FileOf(card.mf, 0x6F46).id = 0x6F47;
    GsmSession session(std::move(card));
    EXPECT_EQ(ReadServiceProviderName(session.pane, session.card), 0);
    EXPECT_EQ(session.report.text, "\r\nDatei '6F46' nicht vorhanden.\r\n");
}

}  // namespace
}  // namespace zebrik
