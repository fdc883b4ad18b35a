// Placeholder until the signature-application readers land.
#include "core/cards/general/general.h"

namespace zebrik {
int ReadCardSerialNumber(ReportPane&, const CardConnection&, std::span<std::uint8_t>, SerialNumberVariant) { return 0; }
int ReadSignaturePinCounter(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
}  // namespace zebrik
