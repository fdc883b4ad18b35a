#pragma once

#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"
#include "core/ports/resource_manager.h"

namespace zebrik {

// The bus of a synchronous memory card, recognised by the first three ATR bytes.
enum class MemoryCardBus { None, I2C, TwoWire, ThreeWire };

MemoryCardBus ClassifyAtr(std::span<const std::uint8_t> atr);

// One pass over every reader: empties the report, then reports each reader, its card
// and the card's data. Returns 0 after a completed pass, or the failing code when the
// context cannot be established or the readers cannot be listed.
ResultCode RunAnalysis(ReportPane& pane, ResourceManager& manager);

}  // namespace zebrik
