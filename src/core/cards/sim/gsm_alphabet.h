#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zebrik {

// The GSM default alphabet of 3GPP TS 23.038 (GSM 03.38): 7-bit code to Unicode code
// point. The escape to the extension table, 1B, stands for a no-break space (U+00A0);
// the extension table itself is not used.
extern const std::array<char16_t, 128> GsmDefaultAlphabet;

// Appends one byte of a SIM text as a GSM character, encoded as UTF-8. Bit 8 is ignored.
// A character above U+00FF (the Greek capitals) appends nothing, as the report has always
// shown only characters of its 8-bit code page.
void AppendGsmChar(std::string& line, std::uint8_t byte);

// Appends GSM characters of the field up to its first FF, as AppendGsmChar writes them.
void AppendGsmText(std::string& line, std::span<const std::uint8_t> field);

// Appends a text field of a UICC (ETSI TS 102 221 Annex A): when its first byte is 80, 81
// or 82, one of the UCS2 forms, every character as itself (control characters and lone
// surrogates as U+FFFD, so no card text breaks a line); else GSM characters up to the first
// FF, as AppendGsmChar writes them. Reads nothing outside the field.
void AppendSimText(std::string& line, std::span<const std::uint8_t> field);

}  // namespace zebrik
