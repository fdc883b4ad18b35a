#pragma once

#include "core/ports/report_and_prompt.h"
#include "core/ports/resource_manager.h"

namespace zebrik {

// One pass over every reader: empties the report, then reports each reader, its card
// and the card's data. Returns 0 after a completed pass, or the failing code when the
// context cannot be established or the readers cannot be listed.
ResultCode RunAnalysis(ReportAndPrompt& pane, ResourceManager& manager);

}  // namespace zebrik
