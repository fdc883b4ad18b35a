#pragma once

#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"

// Readers of German banking cards of the ZKA family (T=1). Each selects its path from the
// MF, writes its own lines and returns 1, or 0 when a command failed (already reported).
// Optional destinations receive raw bytes after the lines are written; an empty span
// means none.
namespace zebrik {

int ReadZkaIdentification(ReportPane& pane, const CardConnection& card,
                          std::span<std::uint8_t> destination = {});
int ReadPurseType(ReportPane& pane, const CardConnection& card);
int ReadPurseAmounts(ReportPane& pane, const CardConnection& card);
int ReadLoadSequenceNumber(ReportPane& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination = {});
int ReadPaymentSequenceNumber(ReportPane& pane, const CardConnection& card,
                              std::span<std::uint8_t> destination = {});
int ReadLoadLog(ReportPane& pane, const CardConnection& card);
int ReadPaymentLog(ReportPane& pane, const CardConnection& card);
int ReadBankConnections(ReportPane& pane, const CardConnection& card);
int ReadHbciSequenceNumber(ReportPane& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination = {});
int ReadFintsPinCounter(ReportPane& pane, const CardConnection& card,
                        std::span<std::uint8_t> destination = {});
int ReadGlobalErrorCounters(ReportPane& pane, const CardConnection& card);

}  // namespace zebrik
