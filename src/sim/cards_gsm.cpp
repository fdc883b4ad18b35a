#include <string>
#include <string_view>

#include "sim/catalog.h"

// The demo's GSM SIM (GSM 11.11, class A0, T=0): PIN query off, every service, everyday
// phone books.
namespace zebrik::sim {
namespace {

// A record length that leaves 14 bytes for the name (GSM 11.11 10.5.1).
constexpr std::size_t kRecordLength = 28;
constexpr std::uint8_t kUnused = 0xFF;

Bytes DiallingRecord(std::string_view name, std::string_view number,
                     std::size_t recordLength = kRecordLength, std::uint8_t extension = kUnused) {
    return sim::DiallingRecord(GsmText(name), number, recordLength, extension);
}

Bytes EmptyRecord(std::size_t recordLength = kRecordLength) {
    return Bytes(recordLength, kUnused);
}

SimFile CyclicFile(std::uint16_t id, std::vector<Bytes> records, Access read) {
    SimFile file = RecordFile(id, std::move(records), read);
    file.kind = FileKind::Cyclic;
    return file;
}

// The GSM 11.11 file tree with the access conditions of a typical SIM: ICCID, phase and
// provider name are always readable, the rest needs CHV1 while the PIN query is on.
SimFile GsmFileTree() {
    return MasterFile({
        TransparentFile(0x2FE2, Hex("98 94 02 10 32 54 76 98 10 F2")),
        DedicatedFile(
            0x7F10,
            {
                RecordFile(
                    0x6F3A,
                    {
                        DiallingRecord("Büro", "+4930123456"),
                        DiallingRecord("Mobilbox", "3311"),
                        DiallingRecord("Mama", "+491701234567"),
                        EmptyRecord(),
                        DiallingRecord("Dr. Müller", "08912345678"),
                        DiallingRecord("IMEI", "*#06#"),
                        DiallingRecord("Jörg Weiß", "+491609876543"),
                        DiallingRecord("", "+4940555123"),
                        EmptyRecord(),
                        // 22 digits: the last two wait in an extension record.
                        DiallingRecord("Zentrale", "+4969123456789012345678", kRecordLength, 0x01),
                    },
                    Access::Chv1),
                RecordFile(0x6F3B,
                           {DiallingRecord("Zuhause", "+4930987654"),
                            DiallingRecord("Notruf", "112"), EmptyRecord()},
                           Access::Chv1),
                // A longer record: 16 bytes of name.
                RecordFile(0x6F40,
                           {DiallingRecord("Eigene Nummer", "+491761234567", 30), EmptyRecord(30)},
                           Access::Chv1),
                CyclicFile(
                    0x6F44,
                    {DiallingRecord("Büro", "+4930123456"), DiallingRecord("", "08912345678"),
                     DiallingRecord("Mama", "+491701234567"), EmptyRecord(), EmptyRecord()},
                    Access::Chv1),
            }),
        DedicatedFile(
            0x7F20,
            {
                TransparentFile(0x6FAE, Hex("03")),
                TransparentFile(0x6F07, Hex("08 29 26 10 21 43 65 87 09"), Access::Chv1),
                TransparentFile(0x6F38, Hex("FF FF FF FF FF FF FF FF"), Access::Chv1),
                TransparentFile(0x6F46, ServiceProviderName(0x01, GsmText("Zebrik Mobil"))),
            }),
    });
}

}  // namespace

// A phase 2+ SIM of a German network without class 00 commands. PIN 1234, PUK 12345678,
// PIN2 5678, PUK2 87654321.
void AddGsmCards(std::vector<CardDescription>& cards) {
    CardDescription card;
    card.name = "sim";
    card.title = "GSM-SIM-Karte, PIN-Abfrage ausgeschaltet";
    // T=0 at Fi/Di 9/4 (TA1 94), historical bytes "ZEBRIK": an ATR no card list names.
    card.atr = Hex("3B 16 94 5A 45 42 52 49 4B");
    card.protocol = kProtocolT0;
    card.classes = {0xA0};
    card.mf = GsmFileTree();
    card.chv1.code = ChvCode("1234");
    card.chv1.unblockCode = ChvCode("12345678");
    card.chv2.code = ChvCode("5678");
    card.chv2.unblockCode = ChvCode("87654321");
    cards.push_back(std::move(card));
}

}  // namespace zebrik::sim
