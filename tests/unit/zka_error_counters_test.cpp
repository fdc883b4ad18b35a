#include <gtest/gtest.h>

#include <string>

#include "core/cards/zka/zka.h"
#include "sim/sim_card.h"
#include "zka_sim_fixture.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::Hex;
using testing::SimCardSession;
using testing::T1Card;

sim::CardDescription CounterCard(std::vector<Bytes> records) {
    return T1Card({sim::RecordFile(0x0016, std::move(records))});
}

TEST(GlobalErrorCountersTest, ThreePinsFollowTheHeadingAndNoFourthRecordIsAskedFor) {
    SimCardSession session(
        CounterCard({Hex("03 03"), Hex("03 00"), Hex("0A 0A 55"), Hex("03 01")}));

    EXPECT_EQ(ReadGlobalErrorCounters(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n"
              "PIN1: 3/3\r\n"
              "PIN2: 0/3\r\n"
              "PIN3: 10/10\r\n");
    const std::vector<Bytes> expected = {Hex("00 A4 00 0C 02 3F 00"), Hex("00 A4 02 0C 02 00 16"),
                                         Hex("00 B2 01 04 02"), Hex("00 B2 02 04 02"),
                                         Hex("00 B2 03 04 02")};
    EXPECT_EQ(session.Commands(), expected);
}

TEST(GlobalErrorCountersTest, MissingSecondRecordEndsTheListButNotTheSuccess) {
    SimCardSession session(CounterCard({Hex("03 02")}));

    EXPECT_EQ(ReadGlobalErrorCounters(session.pane, session.connection), 1);

    EXPECT_EQ(session.report.text,
              "\r\nGlobale Fehlbedienungszähler der Chipkarte\r\n"
              "PIN1: 2/3\r\n"
              "\r\nRecord Nummer 2 nicht vorhanden.\r\n");
    EXPECT_EQ(session.CountCommands(Hex("00 B2 03")), 0u);
}

TEST(GlobalErrorCountersTest, MissingFileFailsBeforeTheHeading) {
    SimCardSession session(T1Card({}));

    EXPECT_EQ(ReadGlobalErrorCounters(session.pane, session.connection), 0);

    EXPECT_EQ(session.report.text, "\r\nDatei '0016' nicht vorhanden.\r\n");
}

TEST(GlobalErrorCountersTest, RecordOfOneByteShowsZeroForTheMissingByte) {
    SimCardSession session(CounterCard({Hex("03"), Hex("03 02"), Hex("03 03")}));

    ReadGlobalErrorCounters(session.pane, session.connection);

    EXPECT_NE(session.report.text.find("PIN1: 0/3\r\nPIN2: 2/3\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zebrik
