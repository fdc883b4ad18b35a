#include "core/apdu/transmit.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/report/pcsc_errors.h"
#include "core/report/text.h"
#include "support/card_bench.h"

namespace zebrik {
namespace {

using sim::Bytes;
using sim::CardDescription;
using sim::Hex;
using testing::CardBench;

using Log = std::vector<std::string>;

// A card that answers exactly one command with the given status (or bytes).
CardDescription AnsweringCard(std::uint32_t protocol, const char* command, const char* response,
                              std::vector<std::uint8_t> classes = {0x00}) {
    CardDescription card;
    card.protocol = protocol;
    card.classes = std::move(classes);
    card.scripted.push_back({Hex(command), Hex(response)});
    return card;
}

// ISO 7816-4 card under T=0: its answers announce data with 61 xx and propose lengths
// with 6C xx.
CardDescription IsoT0Card() {
    CardDescription card;
    card.protocol = kProtocolT0;
    sim::SimFile dir = sim::RecordFile(0x2F01, {Bytes(0x26, 0x5A)});
    sim::SimFile serial = sim::TransparentFile(0x2F02, Hex("11 22 33 44"));
    serial.selectResponse = Bytes(0x1C, 0x62);
    card.mf = sim::MasterFile({dir, serial});
    return card;
}

// GSM 11.11 SIM: class A0 only, answers announce data with 9F xx and propose lengths
// with 67 xx.
CardDescription GsmCard() {
    CardDescription card;
    card.protocol = kProtocolT0;
    card.classes = {0xA0};
    card.mf = sim::MasterFile({
        sim::TransparentFile(0x2FE2, Hex("98 94 00 00 00 00 00 00 00 F1")),
        sim::DedicatedFile(0x7F20, {sim::RecordFile(0x6F3A, {Bytes(0x1C, 0xFF)})}),
    });
    return card;
}

// ---- The status-word table -------------------------------------------------------------

struct RefusalCase {
    const char* name;
    const char* command;
    const char* statusWord;
    const char* line;
};

const RefusalCase kRefusals[] = {
    {"WrongLength6700", "00 B0 00 00 10", "67 00",
     "Die Datenlänge P3/Lc/Le '10' für den Befehl 'B0' ist falsch.\r\n"},
    {"WrongLength6700FourByteCommandPrintsP3As00", "00 A4 00 00", "67 00",
     "Die Datenlänge P3/Lc/Le '00' für den Befehl 'A4' ist falsch.\r\n"},
    {"AccessDenied", "00 B0 00 00 00", "69 82", "Zugriff verweigert.\r\n"},
    {"NoFileSelected", "00 B2 01 04 00", "69 86",
     "Kommando nicht erlaubt (keine Datei selektiert).\r\n"},
    {"FileOfSevenByteSelectNamed", "00 A4 02 0C 02 2F 00", "6A 82",
     "Datei '2F00' nicht vorhanden.\r\n"},
    {"FileOfFourByteSelectNotNamed", "00 A4 00 0C", "6A 82",
     "Datei (MF, DF bzw. EF) nicht vorhanden.\r\n"},
    {"FileOfReadNotNamed", "00 B0 81 00 00", "6A 82",
     "Datei (MF, DF bzw. EF) nicht vorhanden.\r\n"},
    {"RecordNumberInDecimal", "00 B2 03 04 00", "6A 83", "Record Nummer 3 nicht vorhanden.\r\n"},
    {"RecordNumberAbove127StaysUnsigned", "00 B2 C8 04 00", "6A 83",
     "Record Nummer 200 nicht vorhanden.\r\n"},
    {"InvalidP1P2", "00 A4 08 0C 02 3F 00", "6A 86",
     "Der Parameter P1 '08' oder P2 '0C' zum Befehl 'A4' ist ungültig.\r\n"},
    {"AddressOutOfRange", "A0 B0 00 10 04", "94 02", "Adressbereich überschritten.\r\n"},
    {"GsmFileOfSevenByteSelectNamed", "A0 A4 00 00 02 6F 07", "94 04",
     "Datei '6F07' nicht vorhanden.\r\n"},
    {"GsmFileOrRecordOfReadNotNamed", "A0 B2 01 04 1C", "94 04",
     "Datei (MF, DF bzw. EF) oder Record nicht vorhanden.\r\n"},
    {"ExpectedLengthAfter67xx", "00 B0 00 00", "67 10",
     "Die Datenlänge P3/Lc/Le '00' für den Befehl 'B0' ist falsch. Erwartet: '10'\r\n"},
    {"ExpectedLengthAfter6Cxx", "00 A4 02 00 02 2F 00", "6C 10",
     "Die Datenlänge P3/Lc/Le '02' für den Befehl 'A4' ist falsch. Erwartet: '10'\r\n"},
    {"WrongParameters6B00", "00 B0 7F 00 01", "6B 00",
     "Die Parameter P1 '7F', P2 '00' zum Befehl 'B0' sind falsch.\r\n"},
    {"WrongParameters6Bxx", "A0 B2 01 02 1C", "6B 05",
     "Die Parameter P1 '01', P2 '02' zum Befehl 'B2' sind falsch.\r\n"},
    {"InstructionNotImplemented", "00 CA 9F 7F 00", "6D 00",
     "Der Befehlstyp INS 'CA' ist nicht implementiert oder ungültig.\r\n"},
    {"ClassNotSupported", "00 A4 00 0C", "6E 00",
     "Die Befehlsklasse CLA '00' wird nicht unterstützt.\r\n"},
    {"ClassNotSupportedWithSw2", "A0 A4 00 0C", "6E 01",
     "Die Befehlsklasse CLA 'A0' wird nicht unterstützt.\r\n"},
    {"AuthenticationOtherThanPinPrompts", "A0 B0 00 00 09", "98 08",
     "Authentisierung fehlgeschlagen: '98 08'.\r\n"},
    {"UnexpectedWarning", "00 A4 00 0C 02 3F 00", "62 83",
     "Unerwartete Antwort der Chipkarte auf den Befehl 'A4': '62 83'\r\n"},
    {"UnexpectedZeroLength61", "00 A4 00 00 02 3F 00", "61 00",
     "Unerwartete Antwort der Chipkarte auf den Befehl 'A4': '61 00'\r\n"},
    {"UnexpectedZeroLength9F", "A0 A4 00 00 02 3F 00", "9F 00",
     "Unerwartete Antwort der Chipkarte auf den Befehl 'A4': '9F 00'\r\n"},
    {"UnexpectedTechnicalProblem", "00 B2 01 04 00", "6F 00",
     "Unerwartete Antwort der Chipkarte auf den Befehl 'B2': '6F 00'\r\n"},
};

class RefusalLineTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalLineTest, WritesTheTableLineAfterAnEmptyLineAndSendsNothingMore) {
    const RefusalCase& c = GetParam();
    CardBench bench(AnsweringCard(kProtocolT0, c.command, c.statusWord, {0x00, 0xA0}));
    bench.report.text = "Vorher\r\n";

    EXPECT_EQ(bench.Transmit(Hex(c.command)), 0);

    EXPECT_EQ(bench.report.text, std::string("Vorher\r\n\r\n") + c.line);
    EXPECT_EQ(bench.Log(), Log{testing::SpacedHex(Hex(c.command))});
}

INSTANTIATE_TEST_SUITE_P(StatusWordTable, RefusalLineTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TransmitApduTest, Accepts9000And9001AsSuccessWithoutWritingAnything) {
    for (const char* response : {"90 00", "90 01", "AB CD 90 00", "AB CD 90 01"}) {
        CardBench bench(AnsweringCard(kProtocolT1, "00 B0 00 00 00", response));

        EXPECT_EQ(bench.Transmit(Hex("00 B0 00 00 00")), 1) << response;

        EXPECT_EQ(bench.Received(), response);
        EXPECT_EQ(bench.report.text, "");
    }
}

// ---- Follow-ups --------------------------------------------------------------------------

TEST(TransmitApduTest, FetchesAnnouncedDataWithGetResponseInTheCallersClass) {
    CardBench bench(IsoT0Card());

    EXPECT_EQ(bench.Transmit(Hex("00 A4 02 00 02 2F 02")), 1);

    EXPECT_EQ(bench.Log(), (Log{"00 A4 02 00 02 2F 02", "00 C0 00 00 1C"}));
    EXPECT_EQ(bench.length, 30u);
    EXPECT_EQ(bench.Received(), testing::SpacedHex(Bytes(0x1C, 0x62)) + " 90 00");
    EXPECT_EQ(bench.report.text, "");
}

TEST(TransmitApduTest, FetchesGsmStatusWithGetResponseInClassA0) {
    CardBench bench(GsmCard());

    EXPECT_EQ(bench.Transmit(Hex("A0 A4 00 00 02 2F E2")), 1);

    EXPECT_EQ(bench.Log(), (Log{"A0 A4 00 00 02 2F E2", "A0 C0 00 00 0F"}));
    EXPECT_EQ(bench.length, 17u);
    EXPECT_EQ(bench.response[4], 0x2F);  // file id of the status
    EXPECT_EQ(bench.response[5], 0xE2);
}

TEST(TransmitApduTest, ResendsAFiveByteCommandWithTheProposedLength) {
    CardBench iso(IsoT0Card());
    iso.Transmit(Hex("00 A4 02 0C 02 2F 01"));
    iso.card->ClearLog();
    CardBench gsm(GsmCard());
    gsm.Transmit(Hex("A0 A4 00 00 02 7F 20"));
    gsm.Transmit(Hex("A0 A4 00 00 02 6F 3A"));
    gsm.card->ClearLog();

    EXPECT_EQ(iso.Transmit(Hex("00 B2 01 04 00")), 1);
    EXPECT_EQ(gsm.Transmit(Hex("A0 B2 01 04 00")), 1);

    EXPECT_EQ(iso.Log(), (Log{"00 B2 01 04 00", "00 B2 01 04 26"}));
    EXPECT_EQ(iso.length, 0x28u);
    EXPECT_EQ(gsm.Log(), (Log{"A0 B2 01 04 00", "A0 B2 01 04 1C"}));
    EXPECT_EQ(gsm.length, 0x1Eu);
    EXPECT_EQ(iso.report.text + gsm.report.text, "");
}

TEST(TransmitApduTest, ResendsAnUnsupportedClassOnceWithItsLowFourBits) {
    struct Case {
        const char* command;
        std::uint8_t plainClass;
        const char* resent;
    };
    for (const Case& c : {Case{"A0 A4 00 0C 02 2F 02", 0x00, "00 A4 00 0C 02 2F 02"},
                          Case{"80 A4 00 0C 02 2F 02", 0x00, "00 A4 00 0C 02 2F 02"},
                          Case{"8C A4 00 0C 02 2F 02", 0x0C, "0C A4 00 0C 02 2F 02"},
                          Case{"A0 A4 00 0C", 0x00, "00 A4 00 0C"}}) {
        CardDescription description = IsoT0Card();
        description.classes = {c.plainClass};
        CardBench bench(std::move(description));

        EXPECT_EQ(bench.Transmit(Hex(c.command)), 1) << c.command;

        EXPECT_EQ(bench.Log(), (Log{c.command, c.resent}));
        EXPECT_EQ(bench.report.text, "");
    }
}

TEST(TransmitApduTest, DoesNotResendAClassToLongCommandsOrToClass00) {
    for (const char* command :
         {"A0 A4 04 0C 06 D2 76 00 00 01 02", "A0 A4 00 0C 03 2F 02 00", "00 A4 00 0C 02 2F 02"}) {
        CardDescription description = IsoT0Card();
        description.classes = {0x01};
        CardBench bench(std::move(description));

        EXPECT_EQ(bench.Transmit(Hex(command)), 0);

        EXPECT_EQ(bench.Log(), Log{command});
        EXPECT_EQ(bench.report.text, Format("\r\nDie Befehlsklasse CLA '%02X' wird nicht "
                                            "unterstützt.\r\n",
                                            Hex(command)[0]));
    }
}

TEST(TransmitApduTest, ReportsAnswersWithDataInsteadOfFollowingThemUp) {
    struct Case {
        const char* command;
        const char* response;
        const char* line;
    };
    for (const Case& c :
         {Case{"00 A4 00 00 02 3F 00", "62 01 82 61 10",
               "Unerwartete Antwort der Chipkarte auf den Befehl 'A4': '61 10'\r\n"},
          Case{"A0 A4 00 00 02 3F 00", "01 9F 16",
               "Unerwartete Antwort der Chipkarte auf den Befehl 'A4': '9F 16'\r\n"},
          Case{"00 B0 00 00 00", "01 02 6C 02",
               "Die Datenlänge P3/Lc/Le '00' für den Befehl 'B0' ist falsch. Erwartet: '02'\r\n"},
          Case{"A0 B0 00 00 00", "01 02 6E 00",
               "Die Befehlsklasse CLA 'A0' wird nicht unterstützt.\r\n"}}) {
        CardBench bench(AnsweringCard(kProtocolT0, c.command, c.response, {0x00, 0xA0}));

        EXPECT_EQ(bench.Transmit(Hex(c.command)), 0) << c.response;

        EXPECT_EQ(bench.Log(), Log{c.command});
        EXPECT_EQ(bench.report.text, std::string("\r\n") + c.line);
    }
}

TEST(TransmitApduTest, NamesTheMissingFileOfASevenByteSelect) {
    CardBench bench(IsoT0Card());

    EXPECT_EQ(bench.Transmit(Hex("00 A4 02 0C 02 2F 05")), 0);

    EXPECT_EQ(bench.report.text, "\r\nDatei '2F05' nicht vorhanden.\r\n");
}

// GET RESPONSE, length re-send and class re-send in this order, each once, each on the
// status word the one before left; the class re-send's 61 xx is then reported.
TEST(TransmitApduTest, RunsEachFollowUpAtMostOnceAndInOrder) {
    CardDescription description;
    description.protocol = kProtocolT0;
    description.scripted = {
        {Hex("A0 B0 00 00 00"), Hex("61 10")},
        {Hex("A0 C0 00 00 10"), Hex("6C 08")},
        {Hex("A0 B0 00 00 08"), Hex("6E 00")},
        {Hex("00 B0 00 00 00"), Hex("61 05")},
    };
    CardBench bench(std::move(description));

    EXPECT_EQ(bench.Transmit(Hex("A0 B0 00 00 00")), 0);

    EXPECT_EQ(bench.Log(),
              (Log{"A0 B0 00 00 00", "A0 C0 00 00 10", "A0 B0 00 00 08", "00 B0 00 00 00"}));
    EXPECT_EQ(bench.report.text,
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '61 05'\r\n");
}

TEST(TransmitApduTest, FetchesOnlyOnceWhenGetResponseAnnouncesMore) {
    CardDescription description;
    description.protocol = kProtocolT0;
    description.scripted = {
        {Hex("00 A4 00 00 02 3F 00"), Hex("61 1C")},
        {Hex("00 C0 00 00 1C"), Hex("61 1C")},
    };
    CardBench bench(std::move(description));

    EXPECT_EQ(bench.Transmit(Hex("00 A4 00 00 02 3F 00")), 0);

    EXPECT_EQ(bench.Log(), (Log{"00 A4 00 00 02 3F 00", "00 C0 00 00 1C"}));
    EXPECT_EQ(bench.report.text,
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'A4': '61 1C'\r\n");
}

TEST(TransmitApduTest, ReportsARefusedFollowUpWithTheCallersCommandBytes) {
    CardDescription description;
    description.protocol = kProtocolT0;
    description.scripted = {
        {Hex("00 A4 02 00 02 2F 00"), Hex("61 1C")}, {Hex("00 C0 00 00 1C"), Hex("6A 82")},
        {Hex("00 B2 02 04 00"), Hex("6C 26")},       {Hex("00 B2 02 04 26"), Hex("67 00")},
        {Hex("A0 B0 00 00 04"), Hex("6E 00")},       {Hex("00 B0 00 00 04"), Hex("6E 01")},
    };
    CardBench bench(std::move(description));

    EXPECT_EQ(bench.Transmit(Hex("00 A4 02 00 02 2F 00")), 0);
    EXPECT_EQ(bench.Transmit(Hex("00 B2 02 04 00")), 0);
    EXPECT_EQ(bench.Transmit(Hex("A0 B0 00 00 04")), 0);

    EXPECT_EQ(bench.TransmitCalls(), 6u);
    EXPECT_EQ(bench.report.text,
              "\r\nDatei '2F00' nicht vorhanden.\r\n"
              "\r\nDie Datenlänge P3/Lc/Le '00' für den Befehl 'B2' ist falsch.\r\n"
              "\r\nDie Befehlsklasse CLA 'A0' wird nicht unterstützt.\r\n");
}

// ---- What the resource manager and the card cannot be trusted with -----------------------

TEST(TransmitApduTest, WritesAResourceManagerErrorWithoutAnEmptyLineBeforeIt) {
    // The first transmission fails, then the second (the GET RESPONSE) of another call.
    for (std::size_t failing : {0u, 1u}) {
        CardBench bench(IsoT0Card());
        const std::size_t before = bench.manager.Calls().size();
        bench.manager.fault = [&](sim::Call call, std::size_t index) -> ResultCode {
            return call == sim::Call::Transmit && index == before + failing ? kScardWRemovedCard
                                                                            : kScardSuccess;
        };
        bench.report.text = "Vorher\r\n";

        EXPECT_EQ(bench.Transmit(Hex("00 A4 02 00 02 2F 02")), 0);

        ASSERT_FALSE(PcscErrorText(kScardWRemovedCard).empty());
        EXPECT_EQ(bench.report.text, "Vorher\r\n" + PcscErrorText(kScardWRemovedCard));
        EXPECT_EQ(bench.TransmitCalls(), failing + 1);
    }
}

TEST(TransmitApduTest, ReportsAnAnswerWithoutStatusWordAsUnexpected0000) {
    for (const char* response : {"", "90"}) {
        CardBench bench(AnsweringCard(kProtocolT1, "00 B0 00 00 00", response));

        EXPECT_EQ(bench.Transmit(Hex("00 B0 00 00 00")), 0) << "'" << response << "'";

        EXPECT_EQ(bench.report.text,
                  "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '00 00'\r\n");
    }
}

// Answers like the card but claims to have written far more than it was offered.
class BoastingManager : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& length) override {
        const ResultCode code =
            SimResourceManager::Transmit(card, sendPci, command, response, length);
        length = 0xFFFFFFF0;
        return code;
    }
};

TEST(TransmitApduTest, DoesNotBelieveMoreBytesThanTheBufferOffered) {
    sim::SimReader reader;
    reader.name = "Testleser 0";
    reader.card = std::make_shared<sim::SimCard>(
        AnsweringCard(kProtocolT1, "00 B0 00 00 00", "01 02 03 04 90 00"));
    BoastingManager manager({reader});
    ContextHandle context = 0;
    manager.EstablishContext(kScardScopeUser, context);
    CardConnection connection{manager};
    std::uint32_t protocol = 0;
    manager.Connect(context, "Testleser 0", kShareShared, kProtocolT1, connection.handle, protocol);
    testing::StringReport report;
    testing::ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    std::array<std::uint8_t, 300> buffer{};
    std::uint32_t length = 16;  // less room than the buffer has: the length counts
    ApduResponse response;

    const int viaLength =
        TransmitApdu(pane, connection, SendPci::T1, Hex("00 B0 00 00 00"), buffer, length);
    const int viaSendCommand =
        SendCommand(pane, connection, SendPci::T1, Hex("00 B0 00 00 00"), response);

    // The status word is read from the end of the offered room, never beyond it.
    EXPECT_EQ(viaLength, 0);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(viaSendCommand, 0);
    EXPECT_EQ(response.length, 0u);
    EXPECT_EQ(report.text,
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '00 00'\r\n"
              "\r\nUnerwartete Antwort der Chipkarte auf den Befehl 'B0': '00 00'\r\n");
}

TEST(SendCommandTest, ClearsTheBufferSoAShortAnswerShowsNoEarlierResponse) {
    CardDescription description;
    description.protocol = kProtocolT1;
    description.scripted = {{Hex("00 B0 00 00 00"), Hex("11 22 33 44 90 00")},
                            {Hex("00 B0 00 04 00"), Hex("90 00")}};
    CardBench bench(std::move(description));
    ApduResponse response;

    ASSERT_EQ(
        SendCommand(bench.pane, bench.connection, SendPci::T1, Hex("00 B0 00 00 00"), response), 1);
    ASSERT_EQ(
        SendCommand(bench.pane, bench.connection, SendPci::T1, Hex("00 B0 00 04 00"), response), 1);

    EXPECT_EQ(response.DataLength(), 0u);
    EXPECT_EQ(response.bytes[0], 0x90);
    EXPECT_EQ(response.bytes[2], 0x00);
    EXPECT_EQ(response.DataAt(0), 0x00);  // the status word is no data
}

// ---- A caller that answers chosen status words itself -------------------------------------

TEST(StatusWordTakeoverTest, LeavesChosenStatusWordsToTheCaller) {
    constexpr std::array<StatusWord, 2> kHealthCardWords = {0x6283, 0x6900};
    struct Case {
        const char* response;
        bool takenOver;
        StatusWord statusWord;
        const char* report;
    };
    for (const Case& c :
         {Case{"62 83", true, 0x6283, ""}, Case{"69 00", true, 0x6900, ""},
          Case{"6A 82", false, 0x6A82, "\r\nDatei (MF, DF bzw. EF) nicht vorhanden.\r\n"},
          Case{"90 00", false, 0x0000, ""}}) {
        CardDescription description =
            AnsweringCard(kProtocolT1, "00 A4 04 0C 06 D2 76 00 00 01 02", c.response);
        CardBench bench(std::move(description));
        StatusWordTakeover takeover{kHealthCardWords};
        takeover.takenOver = !c.takenOver;  // stale values from an earlier call
        takeover.statusWord = 0x1234;

        const int result =
            bench.Transmit(Hex("00 A4 04 0C 06 D2 76 00 00 01 02"), kResponseCapacity, &takeover);

        EXPECT_EQ(result, c.statusWord == 0 ? 1 : 0) << c.response;
        EXPECT_EQ(takeover.takenOver, c.takenOver) << c.response;
        EXPECT_EQ(takeover.statusWord, c.statusWord) << c.response;
        EXPECT_EQ(bench.report.text, c.report) << c.response;
    }
}

TEST(StatusWordTakeoverTest, SeesTheFinalStatusWordAfterFollowUps) {
    constexpr std::array<StatusWord, 1> kWords = {0x6900};
    CardDescription description;
    description.protocol = kProtocolT0;
    description.scripted = {{Hex("00 B0 00 00 00"), Hex("6C 10")},
                            {Hex("00 B0 00 00 10"), Hex("69 00")}};
    CardBench bench(std::move(description));
    StatusWordTakeover takeover{kWords};

    EXPECT_EQ(bench.Transmit(Hex("00 B0 00 00 00"), kResponseCapacity, &takeover), 0);

    EXPECT_TRUE(takeover.takenOver);
    EXPECT_EQ(takeover.statusWord, 0x6900);
    EXPECT_EQ(bench.report.text, "");
}

TEST(StatusWordTakeoverTest, KnowsNoStatusWordAfterAResourceManagerError) {
    constexpr std::array<StatusWord, 1> kWords = {0x6900};
    CardBench bench(AnsweringCard(kProtocolT1, "00 B0 00 00 00", "69 00"));
    bench.manager.fault = [](sim::Call call, std::size_t) {
        return call == sim::Call::Transmit ? kScardECommDataLost : kScardSuccess;
    };
    StatusWordTakeover takeover{kWords};

    EXPECT_EQ(bench.Transmit(Hex("00 B0 00 00 00"), kResponseCapacity, &takeover), 0);

    EXPECT_FALSE(takeover.takenOver);
    EXPECT_EQ(takeover.statusWord, 0x0000);
    EXPECT_EQ(bench.report.text, PcscErrorText(kScardECommDataLost));
}

}  // namespace
}  // namespace zebrik
