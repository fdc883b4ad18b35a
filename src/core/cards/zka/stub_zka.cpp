// Placeholder until the banking-card readers land.
#include "core/cards/zka/zka.h"

namespace zebrik {
int ReadZkaIdentification(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadPurseType(ReportPane&, const CardConnection&) { return 0; }
int ReadPurseAmounts(ReportPane&, const CardConnection&) { return 0; }
int ReadLoadSequenceNumber(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadPaymentSequenceNumber(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadLoadLog(ReportPane&, const CardConnection&) { return 0; }
int ReadPaymentLog(ReportPane&, const CardConnection&) { return 0; }
int ReadBankConnections(ReportPane&, const CardConnection&) { return 0; }
int ReadHbciSequenceNumber(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadFintsPinCounter(ReportPane&, const CardConnection&, std::span<std::uint8_t>) { return 0; }
int ReadGlobalErrorCounters(ReportPane&, const CardConnection&) { return 0; }
}  // namespace zebrik
