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

std::string DemoReaderName(int index) {
    return Format("Zebrik Demo-Leser %d", index);
}

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

namespace {

// A card the analysis knows by its ATR alone: no files, no command of its own.
CardDescription AtrOnlyCard(std::string name, std::string title, std::string_view atr,
                            std::uint32_t protocol) {
    CardDescription card;
    card.name = std::move(name);
    card.title = std::move(title);
    card.atr = Hex(atr);
    card.protocol = protocol;
    return card;
}

}  // namespace

// Cards that belong to no family of their own: synchronous memory cards and T=0 cards
// that are no SIM.
void AddOtherCards(std::vector<CardDescription>& cards) {
    cards.push_back(AtrOnlyCard("memory-2wire", "Speicherkarte, 2-Wire-Bus (SLE 4442)",
                                "3B 04 A2 13 10 91", kProtocolT0));
    cards.push_back(
        AtrOnlyCard("memory-i2c", "Speicherkarte, I2C-Bus", "3B 04 49 32 43 2E", kProtocolT0));
    cards.push_back(AtrOnlyCard("memory-3wire", "Speicherkarte, 3-Wire-Bus (SLE 4428)",
                                "3B 04 92 23 10 91", kProtocolT0));
    // A processor card under T=1 whose ATR would look like a memory card under T=0.
    cards.push_back(AtrOnlyCard("t1-memory-atr", "T=1-Karte mit Speicherkarten-ATR",
                                "3B 04 A2 13 10 91", kProtocolT1));
    // A T=0 card that knows no SIM commands and has no files. Its ATR offers T=0 only, so
    // that pcsc-lite negotiates T=0 for it behind a real reader too.
    cards.push_back(AtrOnlyCard("t0-blank", "T=0-Karte ohne Dateien", "3B 16 96 41 73 74 72 69 64",
                                kProtocolT0));
    // A T=0 card with no files whose ATR pcsc-tools' ATR list names: the Schlumberger
    // Multiflex 3k, one of the list's first entries, literal and unchanged for years.
    cards.push_back(AtrOnlyCard("atr-known", "T=0-Karte, deren ATR in pcsc-tools' ATR-Liste steht",
                                "3B 02 14 50", kProtocolT0));
}

}  // namespace zebrik::sim
