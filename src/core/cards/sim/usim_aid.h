#pragma once

#include <cstdint>
#include <span>

#include "core/ports/report_and_prompt.h"

namespace zebrik {

// Prints the parts of a USIM application identifier (ETSI TS 101 220): RID, application
// code, country and issuer digits, industry code, and in bytes 12 to 14 the 3GPP release
// the application follows (shown as X.Y.Z).
void ReportUsimAid(ReportAndPrompt& pane, std::span<const std::uint8_t, 16> aid);

}  // namespace zebrik
