#pragma once

#include "core/ports/report_and_prompt.h"
#include "core/ports/resource_manager.h"

namespace zebrik {

// What a run adds to the report beyond its usual content.
struct AnalysisOptions {
    // After each ATR line, the ATR explained byte by byte (DescribeAtr), indented by two
    // blanks so that it reads as part of that line.
    bool decodeAtr = false;
};

// One pass over every reader: empties the report, then reports each reader, its card
// and the card's data. Returns 0 after a completed pass, or the failing code when the
// context cannot be established or the readers cannot be listed.
ResultCode RunAnalysis(ReportAndPrompt& pane, ResourceManager& manager,
                       const AnalysisOptions& options = {});

}  // namespace zebrik
