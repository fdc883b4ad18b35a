#include "sim/sim_card.h"

#include <gtest/gtest.h>

#include <string>

#include "support/card_bench.h"

// The simulated card is the ground the command-exchange tests stand on: where it answered
// wrongly, those tests would agree with a wrong TransmitApdu.
namespace zebrik::sim {
namespace {

using testing::SpacedHex;

std::string Answer(SimCard& card, const char* command) {
    return SpacedHex(card.Process(Hex(command)));
}

// ISO 7816-4 card under T=0 with a record EF (SFI 1) and a transparent EF (SFI 2).
CardDescription IsoCard() {
    CardDescription card;
    card.protocol = kProtocolT0;
    SimFile records = RecordFile(0x2F01, {Bytes(0x26, 0x11), Bytes(0x26, 0x22)});
    records.shortId = 1;
    SimFile serial = TransparentFile(0x2F02, Hex("0A 0B 0C 0D"));
    serial.shortId = 2;
    SimFile other = TransparentFile(0x2F03, Hex("EE"));
    SimFile app = DedicatedFile(0xAB00, {}, Hex("D2 76 00 00 01 02"));
    card.mf = MasterFile({records, serial, other, app});
    return card;
}

// GSM 11.11 SIM, class A0 only; PIN 1234, PUK 12345678, EF IMSI behind CHV1.
CardDescription GsmSim() {
    CardDescription card;
    card.protocol = kProtocolT0;
    card.classes = {0xA0};
    card.chv1Enabled = true;
    card.chv1.code = ChvCode("1234");
    card.chv1.unblockCode = ChvCode("12345678");
    card.mf = MasterFile({
        TransparentFile(0x2FE2, Hex("98 94 00 00 00 00 00 00 00 F1")),
        DedicatedFile(0x7F10, {RecordFile(0x6F3A, {Bytes(0x1C, 0xFF)})}),
        DedicatedFile(0x7F20,
                      {TransparentFile(0x6F07, Hex("08 29 26 20 00 00 00 00 10"), Access::Chv1)}),
    });
    return card;
}

TEST(SimCardTest, AnnouncesIsoResponseDataWith61AndHandsItOutOnce) {
    SimCard card(IsoCard());

    EXPECT_EQ(Answer(card, "00 A4 02 04 02 2F 02"), "61 0D");
    EXPECT_EQ(Answer(card, "00 C0 00 00 0E"), "6C 0D");
    EXPECT_EQ(Answer(card, "00 C0 00 00 0D"), "62 0B 82 01 01 83 02 2F 02 80 02 00 04 90 00");
    EXPECT_EQ(Answer(card, "00 C0 00 00 0D"), "69 85");
    // Another command in between drops the waiting data.
    EXPECT_EQ(Answer(card, "00 A4 02 04 02 2F 02"), "61 0D");
    EXPECT_EQ(Answer(card, "00 B0 00 00 04"), "0A 0B 0C 0D 90 00");
    EXPECT_EQ(Answer(card, "00 C0 00 00 0D"), "69 85");
}

TEST(SimCardTest, AnnouncesGsmStatusWith9FAndReportsTheChv1Counters) {
    SimCard card(GsmSim());

    EXPECT_EQ(Answer(card, "A0 A4 00 00 02 2F E2"), "9F 0F");
    EXPECT_EQ(Answer(card, "A0 C0 00 00 0F"), "00 00 00 0A 2F E2 04 00 01 00 44 01 02 00 00 90 00");
    EXPECT_EQ(Answer(card, "A0 A4 00 00 02 7F 20"), "9F 16");
    Answer(card, "A0 A4 00 00 02 6F 07");
    Answer(card, "A0 20 00 01 08 39 39 39 39 FF FF FF FF");
    EXPECT_EQ(Answer(card, "A0 A4 00 00 02 7F 20"), "9F 16");
    const Bytes status = card.Process(Hex("A0 C0 00 00 16"));
    ASSERT_EQ(status.size(), 24u);
    EXPECT_EQ(status[13], 0x03);  // PIN query on
    EXPECT_EQ(status[18], 0x82);  // CHV1 initialised, two attempts left
    EXPECT_EQ(status[19], 0x8A);  // UNBLOCK CHV1, ten attempts left
}

TEST(SimCardTest, ProposesTheRightLengthWith6COr67) {
    SimCard iso(IsoCard());
    SimCard gsm(GsmSim());
    Answer(gsm, "A0 A4 00 00 02 7F 10");
    Answer(gsm, "A0 A4 00 00 02 6F 3A");

    EXPECT_EQ(Answer(iso, "00 B2 01 0C 00"), "6C 26");
    EXPECT_EQ(Answer(iso, "00 B2 01 0C 10"), "6C 26");  // a record is read whole under T=0
    EXPECT_EQ(Answer(iso, "00 B0 82 00 00"), "6C 04");
    EXPECT_EQ(Answer(iso, "00 B0 82 01 02"), "0B 0C 90 00");  // a transparent EF in part
    EXPECT_EQ(Answer(gsm, "A0 B2 01 04 00"), "67 1C");
    EXPECT_EQ(Answer(gsm, "A0 B2 01 04 1C"), SpacedHex(Bytes(0x1C, 0xFF)) + " 90 00");
    EXPECT_EQ(Answer(iso, "00 A4 02 0C 03 2F 02"), "67 00");  // Lc beyond the data
    EXPECT_EQ(Answer(iso, "00 A4 02"), "67 00");
}

TEST(SimCardTest, RefusesAClassItDoesNotSupportWith6E00) {
    SimCard iso(IsoCard());
    SimCard gsm(GsmSim());

    EXPECT_EQ(Answer(iso, "A0 A4 00 00 02 3F 00"), "6E 00");
    EXPECT_EQ(Answer(gsm, "00 A4 00 04 02 3F 00"), "6E 00");
    EXPECT_EQ(Answer(gsm, "A0 A4 00 00 02 3F 00"), "9F 16");
}

TEST(SimCardTest, CountsWrongPinsAndBlocksWith9840OnTheLastAttempt) {
    SimCard card(GsmSim());
    Answer(card, "A0 A4 00 00 02 7F 20");
    Answer(card, "A0 A4 00 00 02 6F 07");
    const char* wrong = "A0 20 00 01 08 39 39 39 39 FF FF FF FF";
    const char* right = "A0 20 00 01 08 31 32 33 34 FF FF FF FF";

    EXPECT_EQ(Answer(card, "A0 B0 00 00 09"), "98 04");
    EXPECT_EQ(Answer(card, wrong), "98 04");
    EXPECT_EQ(card.Chv1().attempts, 2);
    EXPECT_EQ(Answer(card, wrong), "98 04");
    EXPECT_EQ(Answer(card, wrong), "98 40");
    EXPECT_EQ(card.Chv1().attempts, 0);
    EXPECT_EQ(Answer(card, right), "98 40");
    EXPECT_EQ(Answer(card, "A0 B0 00 00 09"), "98 40");
    EXPECT_FALSE(card.Chv1Verified());
}

TEST(SimCardTest, UnblocksWithThePukAndTakesTheNewPin) {
    CardDescription description = GsmSim();
    description.chv1.attempts = 0;
    SimCard card(std::move(description));
    Answer(card, "A0 A4 00 00 02 7F 20");
    Answer(card, "A0 A4 00 00 02 6F 07");

    EXPECT_EQ(Answer(card, "A0 2C 00 00 10 39 39 39 39 39 39 39 39 35 35 35 35 FF FF FF FF"),
              "98 04");
    EXPECT_EQ(card.Chv1().unblockAttempts, 9);
    EXPECT_EQ(Answer(card, "A0 2C 00 00 10 31 32 33 34 35 36 37 38 35 35 35 35 FF FF FF FF"),
              "90 00");
    EXPECT_EQ(card.Chv1().attempts, 3);
    EXPECT_EQ(card.Chv1().unblockAttempts, 10);
    EXPECT_EQ(Answer(card, "A0 B0 00 00 09"), "08 29 26 20 00 00 00 00 10 90 00");
    card.Reset();
    EXPECT_EQ(Answer(card, "A0 20 00 01 08 35 35 35 35 FF FF FF FF"), "90 00");
}

TEST(SimCardTest, AnswersVerifyWith9808WhenThePinQueryIsOff) {
    CardDescription description = GsmSim();
    description.chv1Enabled = false;
    SimCard card(std::move(description));
    Answer(card, "A0 A4 00 00 02 7F 20");
    Answer(card, "A0 A4 00 00 02 6F 07");

    EXPECT_EQ(Answer(card, "A0 20 00 01 08 31 32 33 34 FF FF FF FF"), "98 08");
    EXPECT_EQ(Answer(card, "A0 B0 00 00 09"), "08 29 26 20 00 00 00 00 10 90 00");
}

// GSM 11.11: from a DF, its children, the DF itself, its parent, the sibling DFs and the
// MF can be selected; nothing else.
TEST(SimCardTest, SelectsWhatGsm1111AllowsFromTheCurrentDf) {
    struct Case {
        const char* fileId;
        const char* answer;
    };
    for (const Case& c : {Case{"6F 07", "9F 0F"}, Case{"7F 20", "9F 16"}, Case{"3F 00", "9F 16"},
                          Case{"7F 10", "9F 16"}, Case{"2F E2", "94 04"}, Case{"6F 3A", "94 04"}}) {
        SimCard card(GsmSim());
        Answer(card, "A0 A4 00 00 02 7F 20");

        EXPECT_EQ(Answer(card, (std::string("A0 A4 00 00 02 ") + c.fileId).c_str()), c.answer)
            << c.fileId;
    }
}

TEST(SimCardTest, SelectsByIso7816KindOfFileAndByPartOfTheApplicationName) {
    SimCard card(IsoCard());

    EXPECT_EQ(Answer(card, "00 A4 01 0C 02 2F 02"), "6A 82");  // P1 01: DFs only
    EXPECT_EQ(Answer(card, "00 A4 02 0C 02 AB 00"), "6A 82");  // P1 02: EFs only
    EXPECT_EQ(Answer(card, "00 A4 01 0C 02 AB 00"), "90 00");
    EXPECT_EQ(Answer(card, "00 A4 00 0C 02 3F 00"), "90 00");
    EXPECT_EQ(Answer(card, "00 A4 04 0C 04 D2 76 00 00"), "90 00");
    EXPECT_EQ(Answer(card, "00 A4 04 0C 04 D2 76 00 01"), "6A 82");
    EXPECT_EQ(Answer(card, "00 A4 08 0C 02 2F 02"), "6A 86");
}

TEST(SimCardTest, ReadsBinaryByShortFileIdentifier) {
    SimCard card(IsoCard());
    CardDescription gsmDescription = GsmSim();
    gsmDescription.chv1Enabled = false;
    SimCard gsm(std::move(gsmDescription));
    Answer(gsm, "A0 A4 00 00 02 2F E2");

    EXPECT_EQ(Answer(card, "00 B0 80 00 01"), "69 86");  // no current EF yet
    EXPECT_EQ(Answer(card, "00 B0 82 00 04"), "0A 0B 0C 0D 90 00");
    EXPECT_EQ(Answer(card, "00 B0 80 02 02"), "0C 0D 90 00");  // SFI 0: the current EF
    EXPECT_EQ(Answer(card, "00 B0 85 00 01"), "6A 82");
    EXPECT_EQ(Answer(card, "00 B0 82 05 01"), "6B 00");  // offset beyond the file
    EXPECT_EQ(Answer(card, "00 B2 02 0C 26"), SpacedHex(Bytes(0x26, 0x22)) + " 90 00");
    EXPECT_EQ(Answer(gsm, "A0 B0 00 0B 01"), "94 02");
}

}  // namespace
}  // namespace zebrik::sim
