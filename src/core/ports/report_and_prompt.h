#pragma once

#include "core/ports/pin_prompt.h"
#include "core/ports/report.h"

namespace zebrik {

// What the analysis needs of its front end: the report it writes into and the prompt
// through which it asks the card holder. The window and the command line each hand one
// to the run; both parts outlive it.
struct ReportAndPrompt {
    Report& report;
    PinPrompt& prompt;
};

}  // namespace zebrik
