#pragma once

#include <optional>
#include <string>

#include "core/ports/report.h"
#include "core/ports/resource_manager.h"

namespace zebrik {

// The platform's own message texts for result codes. pcsc-lite has only English texts
// and the report is German, so the program offers none; the seam lets the rule "the
// platform's text first" be kept and tested.
class PlatformMessages {
public:
    virtual ~PlatformMessages() = default;
    virtual std::optional<std::string> Lookup(ResultCode code) const = 0;
};

// A platform without message texts for these codes.
const PlatformMessages& NoPlatformMessages();

// The German text for a result code: the platform's text, else the built-in table, else
// "Fehler 0x%08X\r\n".
std::string PcscErrorText(ResultCode code, const PlatformMessages& platform = NoPlatformMessages());

// Writes one line for a failed resource-manager call.
void ReportPcscError(Report& report, ResultCode code,
                     const PlatformMessages& platform = NoPlatformMessages());

}  // namespace zebrik
