#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"

// Readers of the signature application, of general ISO files and of the German health
// card (eGK). Same conventions as the banking-card readers.
namespace zebrik {

// The health application of the eGK (DF.HCA): the directory entry that makes a card a
// health card, and the application its readers select.
inline constexpr std::array<std::uint8_t, 6> kHealthApplicationAid = {0xD2, 0x76, 0x00,
                                                                      0x00, 0x01, 0x02};

enum class SerialNumberVariant { SignatureCard, GeneralFiles };

int ReadCardSerialNumber(ReportAndPrompt& pane, const CardConnection& card,
                         std::span<std::uint8_t> destination, SerialNumberVariant variant);

enum class DirectoryVariant { GeneralFiles, Usim };

// Lists EF.DIR. `result` (may be empty) is filled with FF once the directory is selected
// and receives the AID of an entry matching the variant's filter; `resultLength` (if given)
// the whole length of that AID in its record, which may exceed what `result` holds.
int ReadApplicationDirectory(ReportAndPrompt& pane, const CardConnection& card,
                             std::span<std::uint8_t> result, DirectoryVariant variant,
                             std::size_t* resultLength = nullptr);

int ReadCardVersion(ReportAndPrompt& pane, const CardConnection& card);
int ReadInsuredDataStatus(ReportAndPrompt& pane, const CardConnection& card);
int ReadHealthPinStatus(ReportAndPrompt& pane, const CardConnection& card);
int ReportPinStatus(ReportAndPrompt& pane, std::uint8_t sw1, std::uint8_t sw2);

}  // namespace zebrik
