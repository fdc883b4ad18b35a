#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/ports/resource_manager.h"

// Card names by ATR from pcsc-tools' list (pcsc-lite keeps no card database). The list is
// read anew for every query and scanned in place for the one ATR (see card_name_scan.h).
namespace zebrik {

// Where Debian's pcsc-tools installs the list.
inline constexpr std::string_view kDebianSmartcardList = "/usr/share/pcsc/smartcard_list.txt";

// Windows' code for a feature the resource manager does not offer: a missing list makes the
// query fail with it. (pcsc-lite gives SCARD_E_UNSUPPORTED_FEATURE the value of
// SCARD_E_UNEXPECTED, which would read wrong.)
inline constexpr ResultCode kScardEUnsupportedFeature = 0x80100022;

// The card-name query of the resource manager: the names the list at listPath gives for the
// ATR, as a multi-string of at most length bytes of names (and never more than it holds);
// length comes back as the bytes used, an unknown ATR gives the empty list. When the list
// is no regular file or cannot be read, the query fails with kScardEUnsupportedFeature and
// writes nothing.
ResultCode ListCardNames(const std::string& listPath, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length);

}  // namespace zebrik
