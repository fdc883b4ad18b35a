#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/cards/sim/gsm_alphabet.h"
#include "core/report/text.h"
#include "sim/catalog.h"

// GSM SIM cards (GSM 11.11, class A0, T=0): one with the PIN query off and every service,
// the PIN states a user meets (query on, PIN1 blocked, PIN1 and PUK1 used up, a card that
// asks for the PIN only when a file is read), a card with large phone books for the
// benchmarks, and malformed cards for the tests.
namespace zebrik::sim {
namespace {

// A record length that leaves 14 bytes for the name (GSM 11.11 10.5.1).
constexpr std::size_t kRecordLength = 28;
constexpr std::size_t kFixedPart = 14;
constexpr std::uint8_t kUnused = 0xFF;

[[noreturn]] void Mistake(const char* what) {
    std::fprintf(stderr, "GSM card description: %s\n", what);
    std::abort();
}

// A name as the SIM keeps it, in the GSM default alphabet (3GPP TS 23.038).
Bytes GsmText(std::u32string_view text) {
    Bytes bytes;
    for (char32_t character : text) {
        std::size_t code = 0;
        while (code < GsmDefaultAlphabet.size() && GsmDefaultAlphabet[code] != character) {
            ++code;
        }
        if (code == GsmDefaultAlphabet.size()) {
            Mistake("character outside the GSM default alphabet");
        }
        bytes.push_back(static_cast<std::uint8_t>(code));
    }
    return bytes;
}

std::uint8_t DialDigit(char digit) {
    if (digit >= '0' && digit <= '9') {
        return static_cast<std::uint8_t>(digit - '0');
    }
    if (digit == '*') {
        return 0x0A;
    }
    if (digit == '#') {
        return 0x0B;
    }
    Mistake("not a dialling digit");
}

// A dialling-number record of `recordLength` bytes (GSM 11.11 10.5.1): the name padded
// with FF, the number length (TON/NPI byte included), TON/NPI (91 for a number with "+",
// else 81), the number in swapped-nibble BCD padded with F, capability identifier FF and
// the extension identifier. Digits beyond the field's 20 are left to the extension record.
Bytes DiallingRecord(std::u32string_view name, std::string_view number,
                     std::size_t recordLength = kRecordLength, std::uint8_t extension = kUnused) {
    const std::size_t alphaLength = recordLength - kFixedPart;
    Bytes record = GsmText(name);
    if (record.size() > alphaLength) {
        Mistake("name longer than the alpha field");
    }
    record.resize(alphaLength, kUnused);
    const bool international = !number.empty() && number.front() == '+';
    if (international) {
        number.remove_prefix(1);
    }
    Bytes digits;
    for (std::size_t i = 0; i < number.size() && i < 20; i += 2) {
        const std::uint8_t low = DialDigit(number[i]);
        const std::uint8_t high = i + 1 < number.size() ? DialDigit(number[i + 1]) : 0x0F;
        digits.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    record.push_back(static_cast<std::uint8_t>(digits.size() + 1));
    record.push_back(international ? 0x91 : 0x81);
    digits.resize(10, kUnused);
    record.insert(record.end(), digits.begin(), digits.end());
    record.push_back(kUnused);
    record.push_back(extension);
    return record;
}

Bytes EmptyRecord(std::size_t recordLength = kRecordLength) {
    return Bytes(recordLength, kUnused);
}

// EF SPN: display condition, then the name padded with FF to 16 bytes.
Bytes ProviderName(std::uint8_t displayCondition, std::u32string_view name) {
    Bytes spn{displayCondition};
    const Bytes text = GsmText(name);
    spn.insert(spn.end(), text.begin(), text.end());
    spn.resize(17, kUnused);
    return spn;
}

struct GsmContents {
    Bytes iccid = Hex("98 94 02 10 32 54 76 98 10 F2");
    Bytes phase = Hex("03");
    Bytes imsi = Hex("08 29 26 10 21 43 65 87 09");
    Bytes serviceTable = Hex("FF FF FF FF FF FF FF FF");
    Bytes providerName = ProviderName(0x01, U"Zebrik Mobil");
    std::vector<Bytes> abbreviated;
    std::vector<Bytes> fixed;
    std::vector<Bytes> own;
    std::vector<Bytes> lastDialled;
};

// The phone books of an everyday SIM.
GsmContents EverydayContents() {
    GsmContents contents;
    contents.abbreviated = {
        DiallingRecord(U"Büro", "+4930123456"),
        DiallingRecord(U"Mobilbox", "3311"),
        DiallingRecord(U"Mama", "+491701234567"),
        EmptyRecord(),
        DiallingRecord(U"Dr. Müller", "08912345678"),
        DiallingRecord(U"IMEI", "*#06#"),
        DiallingRecord(U"Jörg Weiß", "+491609876543"),
        DiallingRecord(U"", "+4940555123"),
        EmptyRecord(),
        // 22 digits: the last two wait in an extension record.
        DiallingRecord(U"Zentrale", "+4969123456789012345678", kRecordLength, 0x01),
    };
    contents.fixed = {
        DiallingRecord(U"Zuhause", "+4930987654"),
        DiallingRecord(U"Notruf", "112"),
        EmptyRecord(),
    };
    // A longer record: 16 bytes of name.
    contents.own = {
        DiallingRecord(U"Eigene Nummer", "+491761234567", 30),
        EmptyRecord(30),
    };
    contents.lastDialled = {
        DiallingRecord(U"Büro", "+4930123456"),
        DiallingRecord(U"", "08912345678"),
        DiallingRecord(U"Mama", "+491701234567"),
        EmptyRecord(),
        EmptyRecord(),
    };
    return contents;
}

SimFile CyclicFile(std::uint16_t id, std::vector<Bytes> records, Access read) {
    SimFile file = RecordFile(id, std::move(records), read);
    file.kind = FileKind::Cyclic;
    return file;
}

// The GSM 11.11 file tree with the access conditions of a typical SIM: ICCID, phase and
// provider name are always readable, the rest needs CHV1 while the PIN query is on.
SimFile GsmFileTree(GsmContents contents) {
    return MasterFile({
        TransparentFile(0x2FE2, std::move(contents.iccid)),
        DedicatedFile(0x7F10,
                      {
                          RecordFile(0x6F3A, std::move(contents.abbreviated), Access::Chv1),
                          RecordFile(0x6F3B, std::move(contents.fixed), Access::Chv1),
                          RecordFile(0x6F40, std::move(contents.own), Access::Chv1),
                          CyclicFile(0x6F44, std::move(contents.lastDialled), Access::Chv1),
                      }),
        DedicatedFile(0x7F20,
                      {
                          TransparentFile(0x6FAE, std::move(contents.phase)),
                          TransparentFile(0x6F07, std::move(contents.imsi), Access::Chv1),
                          TransparentFile(0x6F38, std::move(contents.serviceTable), Access::Chv1),
                          TransparentFile(0x6F46, std::move(contents.providerName)),
                      }),
    });
}

SimFile* FindFile(SimFile& df, std::uint16_t id) {
    for (SimFile& child : df.children) {
        if (child.id == id) {
            return &child;
        }
        if (SimFile* found = FindFile(child, id)) {
            return found;
        }
    }
    return nullptr;
}

// A phase 2+ SIM of a German network without class 00 commands. PIN 1234, PUK 12345678,
// PIN2 5678, PUK2 87654321.
CardDescription GsmSim(std::string name, std::string title, GsmContents contents) {
    CardDescription card;
    card.name = std::move(name);
    card.title = std::move(title);
    // T=0 at Fi/Di 9/4 (TA1 94), historical bytes "ZEBRIK": an ATR no card list names.
    card.atr = Hex("3B 16 94 5A 45 42 52 49 4B");
    card.protocol = kProtocolT0;
    card.classes = {0xA0};
    card.mf = GsmFileTree(std::move(contents));
    card.chv1.code = ChvCode("1234");
    card.chv1.unblockCode = ChvCode("12345678");
    card.chv2.code = ChvCode("5678");
    card.chv2.unblockCode = ChvCode("87654321");
    return card;
}

CardDescription PinQueryOn(std::string name, std::string title) {
    CardDescription card = GsmSim(std::move(name), std::move(title), EverydayContents());
    card.chv1Enabled = true;
    return card;
}

// 250 records in each of the four phone books.
CardDescription LargePhoneBooks() {
    GsmContents contents;
    for (int i = 1; i <= 250; ++i) {
        const std::string index = Format("%03d", i);
        const std::u32string name = U"Kontakt " + std::u32string(index.begin(), index.end());
        contents.abbreviated.push_back(DiallingRecord(name, "+4930100" + index));
        contents.fixed.push_back(DiallingRecord(name, "+4930200" + index));
        contents.own.push_back(DiallingRecord(name, "+4917630" + index));
        contents.lastDialled.push_back(DiallingRecord(name, "0891000" + index));
    }
    return GsmSim("sim-phonebook-1000", "GSM-SIM-Karte mit 1000 Telefonbucheinträgen",
                  std::move(contents));
}

// An EF status (GSM 11.11 9.2.1) with the given file size and record length.
Bytes RecordFileStatus(std::uint16_t id, std::uint16_t size, std::uint8_t recordLength) {
    Bytes status = Hex("00 00 00 00 00 00 04 00 11 00 44 01 02 01 00");
    status[2] = static_cast<std::uint8_t>(size >> 8);
    status[3] = static_cast<std::uint8_t>(size & 0xFF);
    status[4] = static_cast<std::uint8_t>(id >> 8);
    status[5] = static_cast<std::uint8_t>(id & 0xFF);
    status[14] = recordLength;
    return status;
}

// File statuses a phone book cannot be listed by, and more records than READ RECORD can name.
CardDescription MalformedPhoneBooks() {
    GsmContents contents = EverydayContents();
    contents.lastDialled.clear();
    for (int i = 1; i <= 300; ++i) {
        contents.lastDialled.push_back(DiallingRecord(U"", "+4930" + Format("%06d", i)));
    }
    CardDescription card =
        GsmSim("sim-bad-phonebooks", "GSM-SIM-Karte mit fehlerhaften Telefonbuch-Dateien",
               std::move(contents));
    // ADN: a status that ends before the record length.
    FindFile(card.mf, 0x6F3A)->selectResponse = Hex("00 00 01 18 6F 3A 04 00 11 00 44 01 02 01");
    // FDN: a record length of 0.
    FindFile(card.mf, 0x6F3B)->selectResponse = RecordFileStatus(0x6F3B, 84, 0);
    // MSISDN: a record length of 13, shorter than the fixed part of a record.
    FindFile(card.mf, 0x6F40)->selectResponse = RecordFileStatus(0x6F40, 60, 13);
    return card;
}

// Records whose contents bend the rules of GSM 11.11.
CardDescription MalformedRecords() {
    GsmContents contents = EverydayContents();
    Bytes longLength = DiallingRecord(U"Zu lang", "+4930123456");
    longLength[kRecordLength - kFixedPart] = 0x20;  // far beyond the 10-byte field
    std::fill(longLength.begin() + 16, longLength.begin() + 26, 0x21);
    Bytes zeroLength = DiallingRecord(U"Null", "+4930123456");
    zeroLength[kRecordLength - kFixedPart] = 0x00;
    Bytes oneLength = DiallingRecord(U"Eins", "+4930123456");
    oneLength[kRecordLength - kFixedPart] = 0x01;
    Bytes oddNibbles = DiallingRecord(U"Lücken", "+4930123456");
    oddNibbles[16] = 0xC9;  // 9, then C: the C prints nothing
    oddNibbles[17] = 0xDE;
    // A full name field with no FF; Δ (10) prints nothing, 1B a no-break space, C1 an A.
    Bytes fullName = DiallingRecord(U"", "110");
    const Bytes name = Hex("10 41 1B 42 C1 43 44 45 46 47 48 49 4A 4B");
    std::copy(name.begin(), name.end(), fullName.begin());
    contents.abbreviated = {longLength, zeroLength, oneLength, oddNibbles, fullName};
    // Records without a name field.
    contents.fixed = {DiallingRecord(U"", "+4930987654", kFixedPart), EmptyRecord(kFixedPart)};
    // Records of 32 bytes, so that their READ RECORD differs from the other files'.
    contents.lastDialled = {DiallingRecord(U"Büro", "+4930123456", 32),
                            DiallingRecord(U"Mama", "+491701234567", 32),
                            DiallingRecord(U"Notruf", "112", 32)};
    CardDescription card =
        GsmSim("sim-bad-records", "GSM-SIM-Karte mit fehlerhaften Telefonbuch-Einträgen",
               std::move(contents));
    // MSISDN record 1 comes back shorter than its record length.
    card.scripted.push_back({Hex("A0 B2 01 04 1E"), Hex("45 69 67 65 6E 90 00")});
    // LND record 2 cannot be read.
    card.scripted.push_back({Hex("A0 B2 02 04 20"), Hex("94 02")});
    return card;
}

}  // namespace

void AddGsmCards(std::vector<CardDescription>& cards) {
    CardDescription everyday =
        GsmSim("sim", "GSM-SIM-Karte, PIN-Abfrage ausgeschaltet", EverydayContents());
    everyday.inDemo = true;
    cards.push_back(std::move(everyday));

    cards.push_back(
        PinQueryOn("sim-pin", "GSM-SIM-Karte mit PIN-Abfrage (PIN 1234, PUK 12345678)"));

    CardDescription blocked =
        PinQueryOn("sim-blocked", "GSM-SIM-Karte mit gesperrter PIN1 (PUK 12345678)");
    blocked.chv1.attempts = 0;
    blocked.chv1.unblockAttempts = 7;
    cards.push_back(std::move(blocked));

    CardDescription dead = PinQueryOn("sim-dead", "GSM-SIM-Karte mit gesperrter PIN1 und PUK1");
    dead.chv1.attempts = 0;
    dead.chv1.unblockAttempts = 0;
    cards.push_back(std::move(dead));

    // The status of DF GSM carries no GSM data, so nothing asks for the PIN up front; the
    // card asks for it itself (98 04) when the IMSI is read.
    CardDescription onRead = PinQueryOn(
        "sim-pin-on-read", "GSM-SIM-Karte, die die PIN erst beim Lesen verlangt (PIN 1234)");
    FindFile(onRead.mf, 0x7F20)->selectResponse = Hex("00 00 10 00 7F 20 02 00 00 00 00 00 00");
    cards.push_back(std::move(onRead));

    cards.push_back(LargePhoneBooks());
    cards.push_back(MalformedPhoneBooks());
    cards.push_back(MalformedRecords());
}

}  // namespace zebrik::sim
