#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zebrik {

// The fixed part of a dialling-number record (GSM 11.11 10.5.1) behind the alpha
// identifier: length, TON/NPI, 10 number bytes, capability and extension identifiers.
inline constexpr unsigned kDiallingFixedPart = 14;

// The report line of one dialling-number record: "[index/count] ", the name, the number.
// All offsets come from recordLength (at least 14); bytes outside `record` read as FF.
// With `simTextNames` the name may also be in a UCS2 form of a UICC (AppendSimText).
std::string DiallingNumberLine(unsigned index, unsigned count, std::span<const std::uint8_t> record,
                               unsigned recordLength, bool simTextNames = false);

}  // namespace zebrik
