#include "core/cards/memory/memory_card.h"

#include <algorithm>
#include <array>

namespace zebrik {
namespace {

struct MemoryCardAtr {
    std::array<std::uint8_t, 3> prefix;
    MemoryCardBus bus;
};

// In the order they are compared; the first match wins.
constexpr std::array<MemoryCardAtr, 4> kMemoryCardAtrs = {{
    {{0x3B, 0x04, 0x49}, MemoryCardBus::I2C},        // native protocol S=8
    {{0x3B, 0x04, 0x82}, MemoryCardBus::I2C},        // native protocol S=8
    {{0x3B, 0x04, 0xA2}, MemoryCardBus::TwoWire},    // native protocol S=10
    {{0x3B, 0x04, 0x92}, MemoryCardBus::ThreeWire},  // native protocol S=9
}};

}  // namespace

MemoryCardBus ClassifyAtr(std::span<const std::uint8_t> atr) {
    if (atr.size() < 3) {
        return MemoryCardBus::None;
    }
    for (const MemoryCardAtr& entry : kMemoryCardAtrs) {
        if (std::equal(entry.prefix.begin(), entry.prefix.end(), atr.begin())) {
            return entry.bus;
        }
    }
    return MemoryCardBus::None;
}

void ReportMemoryCard(ReportAndPrompt& pane, MemoryCardBus bus) {
    AppendReport(pane.report, "\r\nDie Chipkarte wird als Speicherkarte angesprochen...\r\n");
    switch (bus) {
        case MemoryCardBus::I2C:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=8 (I²C Bus)\r\n");
            break;
        case MemoryCardBus::ThreeWire:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=9 (3-Wire Bus)\r\n");
            break;
        case MemoryCardBus::TwoWire:
            AppendReport(pane.report, "\r\nNatives Protokoll: S=10 (2-Wire Bus)\r\n");
            break;
        case MemoryCardBus::None:
            break;
    }
}

}  // namespace zebrik
