#pragma once

#include <cstdint>
#include <span>

#include "core/analysis/analysis_run.h"
#include "core/apdu/transmit.h"

namespace zebrik {

// Decides by protocol and memory-card bus which card family to address and calls its
// readers in their fixed order.
void DispatchCardFamily(ReportPane& pane, const CardConnection& card, std::uint32_t protocol,
                        MemoryCardBus bus);

// Prints the parts of a USIM application identifier.
void ReportUsimAid(ReportPane& pane, std::span<const std::uint8_t, 16> aid);

}  // namespace zebrik
