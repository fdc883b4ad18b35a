// Placeholder until the general-file and health-card readers land.
#include "core/cards/general/general.h"

namespace zebrik {
int ReadApplicationDirectory(ReportPane&, const CardConnection&, std::span<std::uint8_t>, DirectoryVariant) { return 0; }
int ReadCardVersion(ReportPane&, const CardConnection&) { return 0; }
int ReadInsuredDataStatus(ReportPane&, const CardConnection&) { return 0; }
int ReadHealthPinStatus(ReportPane&, const CardConnection&) { return 0; }
int ReportPinStatus(ReportPane&, std::uint8_t, std::uint8_t) { return 0; }
}  // namespace zebrik
