#include <string_view>

#include "sim/catalog.h"

// The demo's UICC with only a USIM application (ETSI TS 102 221, 3GPP TS 31.102): it
// answers class 00 alone, so every GSM command of class A0 gets 6E 00.
namespace zebrik::sim {
namespace {

constexpr std::size_t kRecordLength = 30;  // 16 bytes of name
constexpr std::uint8_t kUnused = 0xFF;

const Bytes kUsimAid = Hex("A0 00 00 00 87 10 02 FF 49 FF 01 89 00 00 01 FF");

Bytes Record(Bytes name, std::string_view number) {
    return DiallingRecord(std::move(name), number, kRecordLength);
}

Bytes Record(std::string_view name, std::string_view number) {
    return Record(GsmText(name), number);
}

// An EF.DIR record: the application template with the AID and the label.
Bytes DirRecord() {
    return Concat({Hex("61 1A 4F 10"), kUsimAid, Hex("50 06"), Ascii("USIM-Z"), Bytes(6, kUnused)});
}

// A PBR record naming the ADN file (C0, with short file identifier) of its phone book.
Bytes PbrRecord(std::uint16_t adn, std::uint8_t shortId) {
    Bytes record = Concat(
        {Hex("A8 05 C0 03"),
         {static_cast<std::uint8_t>(adn >> 8), static_cast<std::uint8_t>(adn & 0xFF), shortId}});
    record.resize(32, kUnused);
    return record;
}

SimFile Phonebook(std::vector<SimFile> files) {
    return DedicatedFile(0x5F3A, std::move(files));
}

}  // namespace

// PIN query off; PIN 1234, PUK 12345678, PIN2 5678, PUK2 87654321. The global phone book
// holds a name in UCS2 (form 80: "Σοφία"); services 1, 10, 19 and 21 are there.
void AddUsimCards(std::vector<CardDescription>& cards) {
    CardDescription card;
    card.name = "usim-only";
    card.title = "UICC nur mit USIM-Anwendung";
    card.atr = Hex("3B 9F 96 80 1F C7 80 31 E0 73 FE 21 1B 63 5A 45 42 52 49 4B 55 49 43 43 5A");
    card.protocol = kProtocolT0;
    card.classes = {0x00};
    card.uicc = true;
    card.mf = MasterFile({
        TransparentFile(0x2FE2, Hex("98 94 02 10 32 54 76 98 10 F3")),
        RecordFile(0x2F00, {DirRecord()}),
        DedicatedFile(
            0x7F10,
            {Phonebook({
                RecordFile(0x4F30, {PbrRecord(0x4F3A, 0x08)}),
                RecordFile(0x4F3A,
                           {Record("Büro", "+4930123456"),
                            Record(Hex("80 03 A3 03 BF 03 C6 03 AF 03 B1"), "+491701234567"),
                            Bytes(kRecordLength, kUnused), Record("Notruf", "112")},
                           Access::Chv1),
            })}),
        DedicatedFile(
            0x7FF0,
            {
                TransparentFile(0x6F07, Hex("08 29 26 10 21 43 65 87 19"), Access::Chv1),
                // Services 1, 10, 19 and 21 (TS 31.102 4.2.8: service n in bit (n-1) mod 8).
                TransparentFile(0x6F38, Hex("01 02 14 00 00"), Access::Chv1),
                TransparentFile(0x6F46, ServiceProviderName(0x01, GsmText("Zebrik Mobil"))),
                RecordFile(0x6F40, {Record("Eigene Nummer", "+491761234567")}, Access::Chv1),
                Phonebook({
                    RecordFile(0x4F30, {PbrRecord(0x4F3A, 0x08)}),
                    RecordFile(0x4F3A, {Record("Lokal", "3311"), Bytes(kRecordLength, kUnused)},
                               Access::Chv1),
                }),
            },
            kUsimAid),
    });
    card.chv1.code = ChvCode("1234");
    card.chv1.unblockCode = ChvCode("12345678");
    card.chv2.code = ChvCode("5678");
    card.chv2.unblockCode = ChvCode("87654321");
    cards.push_back(std::move(card));
}

}  // namespace zebrik::sim
