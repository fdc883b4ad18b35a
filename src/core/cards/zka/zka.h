#pragma once

#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"

// Readers of German banking cards of the ZKA family (T=1). Each selects its path from the
// MF, writes its own lines and returns 1, or 0 when a command failed (already reported).
// Optional destinations receive raw bytes after the lines are written; an empty span
// means none.
namespace zebrik {

int ReadZkaIdentification(ReportAndPrompt& pane, const CardConnection& card,
                          std::span<std::uint8_t> destination = {});
int ReadPurseType(ReportAndPrompt& pane, const CardConnection& card);
int ReadPurseAmounts(ReportAndPrompt& pane, const CardConnection& card);
int ReadLoadSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination = {});
int ReadPaymentSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                              std::span<std::uint8_t> destination = {});
int ReadLoadLog(ReportAndPrompt& pane, const CardConnection& card);
int ReadPaymentLog(ReportAndPrompt& pane, const CardConnection& card);
int ReadBankConnections(ReportAndPrompt& pane, const CardConnection& card);
int ReadHbciSequenceNumber(ReportAndPrompt& pane, const CardConnection& card,
                           std::span<std::uint8_t> destination = {});
int ReadFintsPinCounter(ReportAndPrompt& pane, const CardConnection& card,
                        std::span<std::uint8_t> destination = {});
int ReadGlobalErrorCounters(ReportAndPrompt& pane, const CardConnection& card);
// The error counter of the signature PIN, in the signature application (DF AB00).
int ReadSignaturePinCounter(ReportAndPrompt& pane, const CardConnection& card,
                            std::span<std::uint8_t> destination = {});

}  // namespace zebrik
