#include <string_view>

#include "sim/catalog.h"

// German banking cards of the ZKA family under T=1: a Geldkarte with purse, HBCI and
// signature applications, and a plain banking card with neither purse nor HBCI.
namespace zebrik::sim {
namespace {

// A text field as the card stores it: the bytes of `text` (code page 850 where it matters,
// written with \x escapes), padded with blanks to `length`.
Bytes TextField(std::string_view text, std::size_t length) {
    Bytes field = Ascii(text);
    field.resize(length, 0x20);
    return field;
}

// One record of EF 0301 in DF A600 (88 bytes): bank name, bank code, service, address
// (28 bytes up to the suffix), address suffix, country, user identification.
Bytes BankConnection(std::string_view name, std::string_view bankCode, std::uint8_t service,
                     std::string_view address, std::string_view suffix, std::string_view country,
                     std::string_view user) {
    return Concat({TextField(name, 20), Hex(bankCode), Bytes{service}, TextField(address, 28),
                   TextField(suffix, 2), TextField(country, 3), TextField(user, 30)});
}

// A record that was never filled in: blanks throughout.
Bytes BlankBankConnection() {
    return Bytes(88, 0x20);
}

SimFile GeldkartePurse() {
    // Load log, newest first: status, load sequence, retry counter, amount, amount after,
    // three unused bytes, terminal, trace number, date CC YY MM DD, time, payment sequence.
    std::vector<Bytes> loadLog = {
        Hex("00 000C 00 002000 003182 000000 4912345678900001 000123 20120315 103000 0013"),
        Hex("20 000B 00 000500 001182 000000 4912345678900001 00011F 20120228 174512 0011"),
        Hex("00 000A 01 001500 001912 000000 4987654321000042 000977 20120109 080559 0010"),
    };
    // Payment log, newest first: status, payment sequence, load sequence, amount, merchant
    // card, merchant sequence, sum sequence, amount after, date CC YY MM DD, time.
    std::vector<Bytes> paymentLog = {
        Hex("40 0014 000C 001948 67123456780000000421 00000133 00000017 001234 20120316 121501"),
        Hex("60 0013 000B 000120 67555555550000001999 00000132 00000016 001182 20120301 074433"),
        Hex("40 0012 000B 000120 67555555550000001999 00000131 00000016 001062 20120301 074410"),
        Hex("40 0011 000A 000230 67987654320000000007 00000876 00000205 001682 20120110 165900"),
        Hex("40 0010 0009 000995 67123456780000000421 00000120 00000011 000412 20111224 113045"),
    };
    // Amounts: 12,34 held, at most 200,00 held and 200,00 per transaction. Purse: bound to
    // account 0001234567 at bank code 50012345.
    SimFile amounts = RecordFile(0x0104, {Hex("001234 020000 020000")});
    SimFile purse = RecordFile(0x0105, {Hex("00 50012345 0001234567")});
    return DedicatedFile(
        0xA200, {std::move(amounts), std::move(purse), RecordFile(0x0106, {Hex("00 0C")}),
                 RecordFile(0x0107, {Hex("00 14")}), RecordFile(0x0108, std::move(loadLog)),
                 RecordFile(0x0109, std::move(paymentLog))});
}

SimFile GeldkarteHbci() {
    return DedicatedFile(
        0xA600,
        {
            RecordFile(
                0x0301,
                {
                    BankConnection("Musterbank F\x81rth", "50 01 23 45", 0x02, "hbci.musterbank.de",
                                   "", "280", "KD0001234567"),
                    // A name ended early by a NUL; dial-up with an address suffix.
                    BankConnection(std::string_view("Testbank eG\0XXXXXXXX", 20), "20 20 20 20",
                                   0x00, "0911 1234567", "01", "280", "Benutzer 4711"),
                    BankConnection("B\x81rgerbank K\x94ln", "37 06 99 99", 0x33,
                                   "fints.buergerbank.de/", "", "280", "mueller.hans"),
                    BlankBankConnection(),
                    BlankBankConnection(),
                }),
            RecordFile(0x0303, {Hex("00 2A")}),
            RecordFile(0x0016, {Hex("03 02")}),
        });
}

CardDescription Geldkarte() {
    CardDescription card;
    card.name = "geldkarte";
    card.title = "Geldkarte mit HBCI und Signatur";
    card.atr = Hex("3B FF 18 00 FF 81 31 FE 45 65 63 0D 12 71 07 00 11 00 00 00 00 00 00 00 6D");
    card.protocol = kProtocolT1;
    card.mf = MasterFile({
        RecordFile(0x0003,
                   {Hex("67 12 34 56 00 01 23 45 67 89 12 08 10 02 15 02 80 45 55 52 04 00")}),
        RecordFile(0x0016, {Hex("03 03"), Hex("03 02"), Hex("0A 0A")}),
        TransparentFile(0x2F02, Hex("5A 0A 89 49 01 00 12 34 56 78 90 1F")),
        GeldkartePurse(),
        GeldkarteHbci(),
        DedicatedFile(0xAB00, {RecordFile(0x0016, {Hex("03 03")})}),
    });
    return card;
}

CardDescription PlainBankCard() {
    CardDescription card;
    card.name = "bankcard-plain";
    card.title = "Bankkarte ohne Geldkarte und HBCI";
    card.atr = Hex("3B EF 00 00 81 31 FE 45 65 63 0D 12 72 02 00 11 00 00 00 00 00 00 00 9C");
    card.protocol = kProtocolT1;
    card.mf = MasterFile({
        RecordFile(0x0003,
                   {Hex("67 76 54 32 10 09 87 65 43 21 27 12 22 11 03 02 80 45 55 52 04 00")}),
        RecordFile(0x0016, {Hex("03 03"), Hex("03 03"), Hex("03 01")}),
        TransparentFile(0x2F02, Hex("5A 0A 89 49 01 00 98 76 54 32 10 9F")),
    });
    return card;
}

}  // namespace

void AddZkaCards(std::vector<CardDescription>& cards) {
    cards.push_back(Geldkarte());
    cards.push_back(PlainBankCard());
}

}  // namespace zebrik::sim
