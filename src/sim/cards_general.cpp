#include <optional>
#include <string_view>

#include "sim/catalog.h"

// Cards with general ISO 7816-4 files: the German electronic health card (eGK) and a USIM.
namespace zebrik::sim {
namespace {

// An EF.DIR record: the application template 61 with the AID (4F) and, if given, the
// label (50), padded with FF to `size` bytes as a linear fixed file holds it.
Bytes DirectoryRecord(const Bytes& aid, std::optional<std::string_view> label,
                      std::size_t size = 0) {
    Bytes content = Concat({{0x4F, static_cast<std::uint8_t>(aid.size())}, aid});
    if (label) {
        content =
            Concat({content, {0x50, static_cast<std::uint8_t>(label->size())}, Ascii(*label)});
    }
    Bytes record = Concat({{0x61, static_cast<std::uint8_t>(content.size())}, content});
    if (record.size() < size) {
        record.resize(size, 0xFF);
    }
    return record;
}

SimFile WithShortId(SimFile file, std::uint8_t shortId) {
    file.shortId = shortId;
    return file;
}

const Bytes kHealthApplicationAid = Hex("D2 76 00 00 01 02");

// EF.StatusVD: status '0', last update 2011-09-23 14:25:01, VSD structure 5.0.1, reserved.
Bytes HealthStatusFile() {
    return Concat(
        {Ascii("0"), Ascii("20110923142501"), Hex("00 50 00 00 01"), Hex("00 00 00 00 00")});
}

// The health application DF.HCA with EF.StatusVD (D00C, short file identifier 0C).
SimFile HealthApplication() {
    return DedicatedFile(0xD001, {WithShortId(TransparentFile(0xD00C, HealthStatusFile()), 0x0C)},
                         kHealthApplicationAid);
}

// An eGK of the second generation with the health application and two signature
// applications; `health` is its DF.HCA.
CardDescription HealthCard(SimFile health) {
    CardDescription card;
    card.name = "egk";
    card.title = "Elektronische Gesundheitskarte (eGK G2)";
    card.atr = Hex("3B D3 96 FF 81 B1 FE 45 1F 07 80 81 05 2D");
    card.protocol = kProtocolT1;
    card.mf = MasterFile({
        RecordFile(0x2F00, {DirectoryRecord(kHealthApplicationAid, "Gesundheitsanwendung"),
                            DirectoryRecord(Hex("A0 00 00 01 67 45 53 49 47 4E"), "ESIGN"),
                            DirectoryRecord(Hex("D2 76 00 00 66 01"), "QES")}),
        TransparentFile(0x2F02, Hex("5A 0A 80 27 60 01 02 34 56 78 90 12")),
        RecordFile(0x2F10, {Hex("00 30 00 00 02"), Hex("00 30 00 00 01"), Hex("00 40 00 00 00"),
                            Hex("01 20 03 00 0A")}),
        std::move(health),
    });
    // The Praxis-PIN is in use with three attempts left, the Privat-PIN still carries
    // its random transport PIN.
    card.scripted = {{Hex("80 20 00 01"), Hex("63 C3")}, {Hex("80 20 00 02"), Hex("62 C1")}};
    return card;
}

// A USIM of a German network that answers SIM commands (class A0) for its MF only and
// keeps no GSM files, so the SIM part of a run ends at EF ICCID.
CardDescription Usim() {
    CardDescription card;
    card.name = "usim";
    card.title = "3G-USIM-Karte";
    card.atr = Hex("3B 9E 95 80 1F C6 80 31 E0 73 FE 21 1B 66 D0 01 9F BD 10 00 31");
    card.protocol = kProtocolT0;
    card.classes = {0x00, 0xA0};
    card.mf = MasterFile({RecordFile(
        0x2F00,
        {DirectoryRecord(Hex("A0 00 00 00 87 10 02 FF 49 FF FF FF FF FF FF FF"), "USIM"),
         DirectoryRecord(Hex("A0 00 00 00 87 10 04 FF 49 FF FF FF FF FF FF FF"), "ISIM"),
         // 3GPP2's CSIM, its label element there but empty; padded to the others' length.
         DirectoryRecord(Hex("A0 00 00 03 43 10 02 FF 49 FF FF FF FF FF FF FF"), "", 26)})});
    return card;
}

}  // namespace

void AddGeneralCards(std::vector<CardDescription>& cards) {
    cards.push_back(HealthCard(HealthApplication()));
    cards.push_back(Usim());
}

}  // namespace zebrik::sim
