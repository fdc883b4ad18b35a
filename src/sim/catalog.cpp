#include "sim/catalog.h"

#include "core/analysis/reader_properties.h"
#include "core/report/text.h"

namespace zebrik::sim {

std::vector<CardDescription> AllCards() {
    std::vector<CardDescription> cards;
    AddZkaCards(cards);
    AddGeneralCards(cards);
    AddGsmCards(cards);
    AddOtherCards(cards);
    return cards;
}

std::optional<CardDescription> FindCard(std::string_view name) {
    for (CardDescription& card : AllCards()) {
        if (card.name == name) {
            return std::move(card);
        }
    }
    return std::nullopt;
}

namespace {

std::string DemoReaderName(int index) { return Format("Zebrik Demo-Leser %d", index); }

}  // namespace

std::vector<SimReader> DemoReaders() {
    std::vector<SimReader> readers;
    SimReader empty;
    empty.name = DemoReaderName(0);
    empty.attributes = {
        {kAttrDeviceSystemName, TextAttribute(empty.name)},
        {kAttrVendorName, TextAttribute("Zebrik")},
        {kAttrVendorIfdType, TextAttribute("Demo-Leser")},
        {kAttrVendorIfdVersion, NumberAttribute(0x01000003)},
        {kAttrChannelId, NumberAttribute(0x00200001)},
        {kAttrDefaultClk, NumberAttribute(4000)},
        {kAttrMaxClk, NumberAttribute(12000)},
        {kAttrDefaultDataRate, NumberAttribute(10752)},
        {kAttrMaxDataRate, NumberAttribute(344105)},
        {kAttrMaxIfsd, NumberAttribute(254)},
    };
    readers.push_back(std::move(empty));
    int index = 1;
    for (CardDescription& card : AllCards()) {
        if (!card.inDemo) {
            continue;
        }
        SimReader reader;
        reader.name = DemoReaderName(index++);
        reader.card = std::make_shared<SimCard>(std::move(card));
        readers.push_back(std::move(reader));
    }
    return readers;
}

// Cards that belong to no family of their own: synchronous memory cards and a T=0 card
// that is no SIM.
void AddOtherCards(std::vector<CardDescription>& cards) {
    CardDescription twoWire;
    twoWire.name = "memory-2wire";
    twoWire.title = "Speicherkarte, 2-Wire-Bus (SLE 4442)";
    twoWire.atr = Hex("3B 04 A2 13 10 91");
    twoWire.protocol = kProtocolT0;
    cards.push_back(std::move(twoWire));

    CardDescription i2c;
    i2c.name = "memory-i2c";
    i2c.title = "Speicherkarte, I2C-Bus";
    i2c.atr = Hex("3B 04 49 32 43 2E");
    i2c.protocol = kProtocolT0;
    cards.push_back(std::move(i2c));

    CardDescription threeWire;
    threeWire.name = "memory-3wire";
    threeWire.title = "Speicherkarte, 3-Wire-Bus (SLE 4428)";
    threeWire.atr = Hex("3B 04 92 23 10 91");
    threeWire.protocol = kProtocolT0;
    cards.push_back(std::move(threeWire));

    // A processor card under T=1 whose ATR would look like a memory card under T=0.
    CardDescription t1MemoryAtr;
    t1MemoryAtr.name = "t1-memory-atr";
    t1MemoryAtr.title = "T=1-Karte mit Speicherkarten-ATR";
    t1MemoryAtr.atr = Hex("3B 04 A2 13 10 91");
    t1MemoryAtr.protocol = kProtocolT1;
    cards.push_back(std::move(t1MemoryAtr));

    // A T=0 card that knows no SIM commands and has no files. Its ATR offers T=0 only, so
    // that pcsc-lite negotiates T=0 for it behind a real reader too.
    CardDescription blank;
    blank.name = "t0-blank";
    blank.title = "T=0-Karte ohne Dateien";
    blank.atr = Hex("3B 16 96 41 73 74 72 69 64");
    blank.protocol = kProtocolT0;
    cards.push_back(std::move(blank));

    // A T=0 card with no files whose ATR pcsc-tools' ATR list names: the Schlumberger
    // Multiflex 3k, one of the list's first entries, literal and unchanged for years.
    CardDescription atrKnown;
    atrKnown.name = "atr-known";
    atrKnown.title = "T=0-Karte, deren ATR in pcsc-tools' ATR-Liste steht";
    atrKnown.atr = Hex("3B 02 14 50");
    atrKnown.protocol = kProtocolT0;
    cards.push_back(std::move(atrKnown));
}

}  // namespace zebrik::sim
