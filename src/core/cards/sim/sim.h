#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/apdu/transmit.h"

// Readers of GSM SIM cards (GSM 11.11, class A0, T=0). Same conventions as the other
// card readers.
namespace zebrik {

int ReadSimIccid(ReportAndPrompt& pane, const CardConnection& card,
                 std::span<std::uint8_t> destination = {});
int ReadGsmPhase(ReportAndPrompt& pane, const CardConnection& card,
                 std::uint8_t* destination = nullptr);
// Reports the PIN query and counters and opens the SIM by an up-front PIN or PUK prompt.
// 1 lets the protected files be read.
int CheckSimCardholder(ReportAndPrompt& pane, const CardConnection& card);
// The same, noting in `filesReached` whether the MF and DF GSM could be selected at all.
int CheckSimCardholderNotingReach(ReportAndPrompt& pane, const CardConnection& card,
                                  bool& filesReached);
// "\r\nICCID der SIM-Karte: " and the digits of the content of EF ICCID, "\r\n".
std::string IccidLine(std::span<const std::uint8_t> data);
// "\r\nIMSI: " and the digits of the content of EF IMSI (GSM 11.11 10.3.2, TS 31.102
// 4.2.2), "\r\n".
std::string ImsiLine(std::span<const std::uint8_t> data);
int ReadSimImsi(ReportAndPrompt& pane, const CardConnection& card,
                std::span<std::uint8_t> destination = {});
// Reports EF SST; the words receive table bytes 0 to 3 and 4 to 7, the lower-numbered
// byte in the lower bits, a byte the card did not send as 00.
int ReadSimServiceTable(ReportAndPrompt& pane, const CardConnection& card,
                        std::uint32_t* firstWord = nullptr, std::uint32_t* secondWord = nullptr);

// The services whose files the SIM readers read, by their number in EF SST.
inline constexpr unsigned kServiceAbbreviatedDialling = 2;
inline constexpr unsigned kServiceFixedDialling = 3;
inline constexpr unsigned kServiceOwnNumbers = 9;
inline constexpr unsigned kServiceLastNumberDialled = 13;
inline constexpr unsigned kServiceProviderName = 17;

// Whether the service is both allocated and activated in the words of ReadSimServiceTable.
bool SimServiceAvailable(std::uint32_t firstWord, std::uint32_t secondWord, unsigned service);
int ReadServiceProviderName(ReportAndPrompt& pane, const CardConnection& card);
// Lists every record of one dialling-number file in DF TELECOM under its title.
// 1 when every record was read.
int ListDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card, std::uint16_t fileId,
                        std::string_view title);
int ReadAbbreviatedDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card);
int ReadFixedDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card);
int ReadOwnNumbers(ReportAndPrompt& pane, const CardConnection& card);
int ReadLastNumbersDialled(ReportAndPrompt& pane, const CardConnection& card);

}  // namespace zebrik
