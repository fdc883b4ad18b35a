#include "sim/catalog.h"

#include "core/analysis/reader_properties.h"
#include "core/report/text.h"

namespace zebrik::sim {

std::vector<CardDescription> AllCards() {
    std::vector<CardDescription> cards;
    AddZkaCards(cards);
    AddGeneralCards(cards);
    AddGsmCards(cards);
    AddUsimCards(cards);
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
        SimReader reader;
        reader.name = DemoReaderName(index++);
        reader.card = std::make_shared<SimCard>(std::move(card));
        readers.push_back(std::move(reader));
    }
    return readers;
}

}  // namespace zebrik::sim
