#pragma once

#include <cstdint>
#include <span>

#include "core/ports/report_and_prompt.h"

// Synchronous memory cards, which answer no command APDU: the analysis knows them by the
// first three bytes of their ATR and reports only the bus they speak.
namespace zebrik {

enum class MemoryCardBus { None, I2C, TwoWire, ThreeWire };

MemoryCardBus ClassifyAtr(std::span<const std::uint8_t> atr);

// The banner and the line of the card's native protocol; MemoryCardBus::None writes only
// the banner.
void ReportMemoryCard(ReportAndPrompt& pane, MemoryCardBus bus);

}  // namespace zebrik
