#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/cards/zka/zka.h"
#include "sim/sim_card.h"
#include "zka_sim_fixture.h"

namespace zebrik {
namespace {

using sim::Hex;
using testing::SimCardSession;
using testing::T1Card;

const sim::Bytes kWorkedExample =
    Hex("67 12 34 56 00 01 23 45 67 89 12 08 10 02 15 02 80 45 55 52 04 00");

sim::CardDescription CardWithIdentification(const sim::Bytes& record) {
    return T1Card({sim::RecordFile(0x0003, {record})});
}

TEST(ZkaIdentificationTest, WorkedExampleGivesTheSevenLines) {
    SimCardSession session(CardWithIdentification(kWorkedExample));

    EXPECT_EQ(ReadZkaIdentification(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nSeriennummer:\t\t6712345600012345678\r\n"
              "\r\nKurz-BLZ:\t\t123456\r\n"
              "Kartennummer:\t\t0001234567\r\n"
              "Verfalldatum:\t\t08/12\r\n"
              "Aktivierungsdatum:\t15.02.10\r\n"
              "Länderkennung:\t\t0280\r\n"
              "Währung:\t\tEUR\r\n");
    const std::vector<sim::Bytes> expected = {Hex("00 A4 00 0C 02 3F 00"),
                                              Hex("00 A4 02 0C 02 00 03"), Hex("00 B2 01 04 00")};
    EXPECT_EQ(session.Commands(), expected);
}

struct SerialCase {
    const char* byte9;
    const char* serialLine;
};

class ZkaSerialDigitTest : public ::testing::TestWithParam<SerialCase> {};

// The last digit is the high nibble of byte 9 as a hexadecimal digit; the low nibble never
// shows.
TEST_P(ZkaSerialDigitTest, LastSerialDigitIsHighNibbleOfByteNine) {
    sim::Bytes record = kWorkedExample;
    record[9] = Hex(GetParam().byte9)[0];
    SimCardSession session(CardWithIdentification(record));

    ReadZkaIdentification(session.pane, session.connection);

    EXPECT_EQ(session.report.text.substr(0, session.report.text.find("\r\n\r\nKurz")),
              GetParam().serialLine);
}

INSTANTIATE_TEST_SUITE_P(
    Nibbles, ZkaSerialDigitTest,
    ::testing::Values(SerialCase{"89", "\r\nSeriennummer:\t\t6712345600012345678"},
                      SerialCase{"F0", "\r\nSeriennummer:\t\t671234560001234567F"},
                      SerialCase{"0F", "\r\nSeriennummer:\t\t6712345600012345670"},
                      SerialCase{"A5", "\r\nSeriennummer:\t\t671234560001234567A"}));

TEST(ZkaIdentificationTest, NonBcdNibblesPrintAsHexLetters) {
    sim::Bytes record = kWorkedExample;
    record[10] = 0x1B;  // expiry year
    record[14] = 0x3C;  // activation day
    SimCardSession session(CardWithIdentification(record));

    ReadZkaIdentification(session.pane, session.connection);

    EXPECT_NE(session.report.text.find("Verfalldatum:\t\t08/1B\r\n"), std::string::npos);
    EXPECT_NE(session.report.text.find("Aktivierungsdatum:\t3C.02.10\r\n"), std::string::npos);
}

TEST(ZkaIdentificationTest, CurrencyBytesAreWindows1252CharactersAndNulVanishes) {
    sim::Bytes record = kWorkedExample;
    record[17] = 0x80;
    record[18] = 0x00;
    record[19] = 0x55;
    SimCardSession session(CardWithIdentification(record));

    ReadZkaIdentification(session.pane, session.connection);

    EXPECT_NE(session.report.text.find("Währung:\t\t€U\r\n"), std::string::npos);
}

TEST(ZkaIdentificationTest, CardWithoutIdentificationFileGetsOnlyTheRefusal) {
    SimCardSession session(T1Card({}));

    EXPECT_EQ(ReadZkaIdentification(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, "\r\nDatei '0003' nicht vorhanden.\r\n");
    EXPECT_EQ(session.CountCommands(Hex("00 B2")), 0u);
}

TEST(ZkaIdentificationTest, RefusedReadRecordWritesNoLineOfItsOwn) {
    sim::CardDescription card = CardWithIdentification(kWorkedExample);
    card.scripted.push_back({Hex("00 B2 01 04 00"), Hex("69 82")});
    SimCardSession session(std::move(card));

    EXPECT_EQ(ReadZkaIdentification(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, "\r\nZugriff verweigert.\r\n");
}

// A select that answers with data must not leak into the fields of a short record.
TEST(ZkaIdentificationTest, ShortRecordShowsZerosNotAnEarlierAnswer) {
    sim::CardDescription card = CardWithIdentification(Hex("67 12 34"));
    card.scripted.push_back(
        {Hex("00 A4 00 0C 02 3F 00"),
         Hex("EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE 90 00")});
    SimCardSession session(std::move(card));

    EXPECT_EQ(ReadZkaIdentification(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nSeriennummer:\t\t6712340000000000000\r\n"
              "\r\nKurz-BLZ:\t\t123400\r\n"
              "Kartennummer:\t\t0000000000\r\n"
              "Verfalldatum:\t\t00/00\r\n"
              "Aktivierungsdatum:\t00.00.00\r\n"
              "Länderkennung:\t\t0000\r\n"
              "Währung:\t\t\r\n");
}

TEST(ZkaIdentificationTest, DestinationReceivesAtMostTheFirstTenBytes) {
    SimCardSession session(CardWithIdentification(kWorkedExample));
    std::array<std::uint8_t, 12> wide{};
    wide.fill(0xAA);
    std::array<std::uint8_t, 3> narrow{};

    ReadZkaIdentification(session.pane, session.connection, wide);
    ReadZkaIdentification(session.pane, session.connection, narrow);

    const std::array<std::uint8_t, 12> expectedWide = {0x67, 0x12, 0x34, 0x56, 0x00, 0x01,
                                                       0x23, 0x45, 0x67, 0x89, 0xAA, 0xAA};
    EXPECT_EQ(wide, expectedWide);
    const std::array<std::uint8_t, 3> expectedNarrow = {0x67, 0x12, 0x34};
    EXPECT_EQ(narrow, expectedNarrow);
}

}  // namespace
}  // namespace zebrik
