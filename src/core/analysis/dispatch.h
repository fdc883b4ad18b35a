#pragma once

#include <cstdint>

#include "core/apdu/transmit.h"
#include "core/cards/memory/memory_card.h"

namespace zebrik {

// Decides by protocol and memory-card bus which card family to address and calls its
// readers in their fixed order.
void DispatchCardFamily(ReportAndPrompt& pane, const CardConnection& card, std::uint32_t protocol,
                        MemoryCardBus bus);

}  // namespace zebrik
