#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zebrik {

// A text field of the card in the OEM code page of German DOS (code page 850), as UTF-8.
// A NUL ends the field early; nothing is trimmed, so trailing blanks stay.
std::string Cp850ToUtf8(std::span<const std::uint8_t> field);

}  // namespace zebrik
