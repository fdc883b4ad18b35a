#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/cards/general/general.h"
#include "core/cards/zka/zka.h"
#include "sim/sim_card.h"
#include "zka_sim_fixture.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::SimCardSession;
using testing::T1Card;

struct SerialCase {
    const char* content;
    SerialNumberVariant variant;
    const char* shown;
};

class SerialNumberTest : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialNumberTest, ShowsTheDigitsOfTheVariantOrNichtErmittelbar) {
    SimCardSession session(T1Card({sim::TransparentFile(0x2F02, Hex(GetParam().content))}));

    EXPECT_EQ(ReadCardSerialNumber(session.pane, session.connection, {}, GetParam().variant), 1);

    EXPECT_EQ(session.report.text, std::string("\r\nSeriennummer: ") + GetParam().shown + "\r\n");
}

constexpr auto kSignature = SerialNumberVariant::SignatureCard;
constexpr auto kGeneral = SerialNumberVariant::GeneralFiles;

INSTANTIATE_TEST_SUITE_P(
    Contents, SerialNumberTest,
    ::testing::Values(
        SerialCase{"5A 0A 89 49 01 00 12 34 56 78 90 1F", kSignature, "8949010012345678901"},
        SerialCase{"5A 0A 89 49 01 00 12 34 56 78 90 1F", kGeneral,
                   "894901001234567890"
                   "1F"},
        SerialCase{"5A 0A 89 49 01 00 12 34 56 78 90 1F 00 00", kGeneral, "8949010012345678901F"},
        SerialCase{"5A 0A 89 49 01 00 12 34 56 78 90", kSignature, "nicht ermittelbar"},
        SerialCase{"5A 0A 89 49 01 00 12 34 56 78 90", kGeneral, "nicht ermittelbar"},
        SerialCase{"4F 0A 89 49 01 00 12 34 56 78 90 1F", kGeneral, "nicht ermittelbar"},
        SerialCase{"5A 01 4F", kSignature, "4"}, SerialCase{"5A 01 4F", kGeneral, "4F"},
        SerialCase{"5A", kGeneral, "nicht ermittelbar"}, SerialCase{"5A 00", kGeneral, ""},
        // No value byte, so no last digit to show.
        SerialCase{"5A 00", kSignature, "nicht ermittelbar"}));

TEST(SerialNumberTest, EmptyFileIsNichtErmittelbar) {
    SimCardSession session(T1Card({sim::TransparentFile(0x2F02, {})}));

    EXPECT_EQ(ReadCardSerialNumber(session.pane, session.connection, {}, kSignature), 1);

    EXPECT_EQ(session.report.text, "\r\nSeriennummer: nicht ermittelbar\r\n");
}

TEST(SerialNumberTest, VariantsDifferOnlyInTheSelectOfTheMf) {
    SimCardSession signature(T1Card({sim::TransparentFile(0x2F02, Hex("5A 01 12"))}));
    SimCardSession general(T1Card({sim::TransparentFile(0x2F02, Hex("5A 01 12"))}));

    ReadCardSerialNumber(signature.pane, signature.connection, {}, kSignature);
    ReadCardSerialNumber(general.pane, general.connection, {}, kGeneral);

    const std::vector<Bytes> signatureCommands = {
        Hex("00 A4 00 0C 02 3F 00"), Hex("00 A4 02 0C 02 2F 02"), Hex("00 B0 00 00 00")};
    const std::vector<Bytes> generalCommands = {Hex("00 A4 00 0C"), Hex("00 A4 02 0C 02 2F 02"),
                                                Hex("00 B0 00 00 00")};
    EXPECT_EQ(signature.Commands(), signatureCommands);
    EXPECT_EQ(general.Commands(), generalCommands);
}

TEST(SerialNumberTest, MissingFileFailsWithTheRefusalOnly) {
    SimCardSession session(T1Card({}));

    EXPECT_EQ(ReadCardSerialNumber(session.pane, session.connection, {}, kGeneral), 0);

    EXPECT_EQ(session.report.text, "\r\nDatei '2F02' nicht vorhanden.\r\n");
}

TEST(SerialNumberTest, DestinationReceivesTheFileAsFarAsBothReach) {
    SimCardSession session(T1Card({sim::TransparentFile(0x2F02, Hex("5A 02 12 34"))}));
    std::array<std::uint8_t, 6> wide{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    std::array<std::uint8_t, 2> narrow{};

    ReadCardSerialNumber(session.pane, session.connection, wide, kGeneral);
    ReadCardSerialNumber(session.pane, session.connection, narrow, kGeneral);

    EXPECT_EQ(wide, (std::array<std::uint8_t, 6>{0x5A, 0x02, 0x12, 0x34, 0xAA, 0xAA}));
    EXPECT_EQ(narrow, (std::array<std::uint8_t, 2>{0x5A, 0x02}));
}

struct PinCounterCase {
    const char* bytes;
    const char* shown;
};

class SignaturePinCounterTest : public ::testing::TestWithParam<PinCounterCase> {};

TEST_P(SignaturePinCounterTest, ShowsSecondByteSlashFirstByteInDecimal) {
    SimCardSession session(
        T1Card({sim::DedicatedFile(0xAB00, {sim::RecordFile(0x0016, {Hex(GetParam().bytes)})})}));

    EXPECT_EQ(ReadSignaturePinCounter(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text, std::string("\r\nFehlbedienungszähler der Signatur-PIN: ") +
                                       GetParam().shown + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Counters, SignaturePinCounterTest,
                         ::testing::Values(PinCounterCase{"03 02", "2/3"},
                                           PinCounterCase{"0A 0A", "10/10"},
                                           PinCounterCase{"03 03 99", "3/3"},
                                           PinCounterCase{"03", "0/3"}));

TEST(SignaturePinCounterTest, SendsItsFourCommandsAndFillsTheDestination) {
    SimCardSession session(
        T1Card({sim::DedicatedFile(0xAB00, {sim::RecordFile(0x0016, {Hex("03 02")})})}));
    std::array<std::uint8_t, 2> counter{};

    ReadSignaturePinCounter(session.pane, session.connection, counter);

    const std::vector<Bytes> expected = {Hex("00 A4 00 0C 02 3F 00"), Hex("00 A4 01 0C 02 AB 00"),
                                         Hex("00 A4 02 0C 02 00 16"), Hex("00 B2 01 04 02")};
    EXPECT_EQ(session.Commands(), expected);
    EXPECT_EQ(counter, (std::array<std::uint8_t, 2>{0x03, 0x02}));
}

TEST(SignaturePinCounterTest, CardWithoutSignatureApplicationGetsTheRefusal) {
    SimCardSession session(T1Card({}));

    EXPECT_EQ(ReadSignaturePinCounter(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, "\r\nDatei 'AB00' nicht vorhanden.\r\n");
}

}  // namespace
}  // namespace zebrik
