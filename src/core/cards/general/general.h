#pragma once

#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"

// Readers of the signature application, of general ISO files and of the German health
// card (eGK). Same conventions as the banking-card readers.
namespace zebrik {

enum class SerialNumberVariant { SignatureCard, GeneralFiles };

int ReadCardSerialNumber(ReportPane& pane, const CardConnection& card,
                         std::span<std::uint8_t> destination, SerialNumberVariant variant);
int ReadSignaturePinCounter(ReportPane& pane, const CardConnection& card,
                            std::span<std::uint8_t> destination = {});

enum class DirectoryVariant { GeneralFiles, Usim };

// Lists EF.DIR. `result` (may be empty) is filled with FF once the directory is selected
// and receives the AID of an entry matching the variant's filter.
int ReadApplicationDirectory(ReportPane& pane, const CardConnection& card,
                             std::span<std::uint8_t> result, DirectoryVariant variant);

int ReadCardVersion(ReportPane& pane, const CardConnection& card);
int ReadInsuredDataStatus(ReportPane& pane, const CardConnection& card);
int ReadHealthPinStatus(ReportPane& pane, const CardConnection& card);
int ReportPinStatus(ReportPane& pane, std::uint8_t sw1, std::uint8_t sw2);

}  // namespace zebrik
