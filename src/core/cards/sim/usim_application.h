#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/apdu/transmit.h"

namespace zebrik {

// Reads the USIM application of a UICC with class 00 commands (ETSI TS 102 221, 3GPP
// TS 31.102), for a card whose GSM files could not be reached: ICCID, PIN state and
// prompt, IMSI, services, provider and phone books. `aid` holds the first 16 bytes of the
// AID that EF.DIR named, `aidLength` its whole length there; `iccidShown`: the GSM part
// already wrote the ICCID. Returns 1 when the application could be selected.
int ReadUsimApplication(ReportAndPrompt& pane, const CardConnection& card,
                        std::span<const std::uint8_t, 16> aid, std::size_t aidLength,
                        bool iccidShown);

}  // namespace zebrik
