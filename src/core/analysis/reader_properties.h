#pragma once

#include "core/apdu/transmit.h"

namespace zebrik {

// Attribute ids of the PC/SC interface that the reader report asks for.
inline constexpr std::uint32_t kAttrDeviceSystemName = 0x7FFF0004;
inline constexpr std::uint32_t kAttrVendorName = 0x00010100;
inline constexpr std::uint32_t kAttrVendorIfdType = 0x00010101;
inline constexpr std::uint32_t kAttrVendorIfdVersion = 0x00010102;
inline constexpr std::uint32_t kAttrChannelId = 0x00020110;
inline constexpr std::uint32_t kAttrDefaultClk = 0x00030121;
inline constexpr std::uint32_t kAttrMaxClk = 0x00030122;
inline constexpr std::uint32_t kAttrDefaultDataRate = 0x00030123;
inline constexpr std::uint32_t kAttrMaxDataRate = 0x00030124;
inline constexpr std::uint32_t kAttrMaxIfsd = 0x00030125;

// Writes what an empty reader says about itself over its direct connection.
void ReportReaderProperties(ReportAndPrompt& pane, const CardConnection& reader);

}  // namespace zebrik
