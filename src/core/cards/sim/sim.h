#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/apdu/transmit.h"

// Readers of GSM SIM cards (GSM 11.11, class A0, T=0). Same conventions as the other
// card readers.
namespace zebrik {

int ReadSimIccid(ReportPane& pane, const CardConnection& card,
                 std::span<std::uint8_t> destination = {});
int ReadGsmPhase(ReportPane& pane, const CardConnection& card, std::uint8_t* destination = nullptr);
// Reports the PIN query and counters and opens the SIM by an up-front PIN or PUK prompt.
// 1 lets the protected files be read.
int CheckSimCardholder(ReportPane& pane, const CardConnection& card);
int ReadSimImsi(ReportPane& pane, const CardConnection& card,
                std::span<std::uint8_t> destination = {});
int ReadSimServiceTable(ReportPane& pane, const CardConnection& card,
                        std::uint32_t* firstWord = nullptr, std::uint32_t* secondWord = nullptr);
int ReadServiceProviderName(ReportPane& pane, const CardConnection& card);
// Lists every record of one dialling-number file in DF TELECOM under its title.
// 1 when every record was read.
int ListDiallingNumbers(ReportPane& pane, const CardConnection& card, std::uint16_t fileId,
                        std::string_view title);
int ReadAbbreviatedDiallingNumbers(ReportPane& pane, const CardConnection& card);
int ReadFixedDiallingNumbers(ReportPane& pane, const CardConnection& card);
int ReadOwnNumbers(ReportPane& pane, const CardConnection& card);
int ReadLastNumbersDialled(ReportPane& pane, const CardConnection& card);

}  // namespace zebrik
