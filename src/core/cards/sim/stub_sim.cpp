// Placeholder until the SIM readers land.
#include "core/cards/sim/sim.h"

namespace zebrik {
int ReadSimIccid(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadGsmPhase(ReportPane&, const CardConnection&, std::uint8_t*) { return 0; }
int CheckSimCardholder(ReportPane&, const CardConnection&) { return 0; }
int ReadSimImsi(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadSimServiceTable(ReportPane&, const CardConnection&, std::uint32_t*, std::uint32_t*) { return 0; }
int ReadServiceProviderName(ReportPane&, const CardConnection&) { return 0; }
int ReadAbbreviatedDiallingNumbers(ReportPane&, const CardConnection&) { return 0; }
int ReadFixedDiallingNumbers(ReportPane&, const CardConnection&) { return 0; }
int ReadOwnNumbers(ReportPane&, const CardConnection&) { return 0; }
int ReadLastNumbersDialled(ReportPane&, const CardConnection&) { return 0; }
}  // namespace zebrik
