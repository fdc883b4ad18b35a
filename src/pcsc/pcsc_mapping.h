#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/ports/resource_manager.h"

// How pcsc-lite's answers become the values the analysis expects. Kept free of the
// pcsc-lite headers so that the unit tests can check the rules without a pcscd.
namespace zebrik::pcsc {

// The card-state flags of pcsc-lite's SCardStatus (pcsclite.h).
inline constexpr std::uint32_t kFlagUnknown = 0x0001;
inline constexpr std::uint32_t kFlagAbsent = 0x0002;
inline constexpr std::uint32_t kFlagPresent = 0x0004;
inline constexpr std::uint32_t kFlagSwallowed = 0x0008;
inline constexpr std::uint32_t kFlagPowered = 0x0010;
inline constexpr std::uint32_t kFlagNegotiable = 0x0020;
inline constexpr std::uint32_t kFlagSpecific = 0x0040;

// A card state that matches none of the six named ones.
inline constexpr std::uint32_t kCardStateUnknown = 0;

// pcsc-lite's status query reports a set of flags where the analysis expects one of the
// six card states. A card with an active protocol T=0 or T=1 has been negotiated: that
// is the specific mode a shared connection leaves it in. pcsc-lite keeps NEGOTIABLE set
// on such cards, so without the protocol rule every working card would read as waiting
// for PTS. Otherwise the highest flag set names the state.
constexpr std::uint32_t CardStateFromStatus(std::uint32_t flags, std::uint32_t activeProtocol) {
    if (activeProtocol == kProtocolT0 || activeProtocol == kProtocolT1) {
        return kCardSpecific;
    }
    if (flags & kFlagSpecific) {
        return kCardSpecific;
    }
    if (flags & kFlagNegotiable) {
        return kCardNegotiable;
    }
    if (flags & kFlagPowered) {
        return kCardPowered;
    }
    if (flags & kFlagSwallowed) {
        return kCardSwallowed;
    }
    if (flags & kFlagPresent) {
        return kCardPresent;
    }
    if (flags & kFlagAbsent) {
        return kCardAbsent;
    }
    return kCardStateUnknown;
}

// pcsc-lite counts card events in the upper 16 bits of a reader's event state; only the
// state flags in the lower 16 bits are the reader's state.
constexpr std::uint32_t EventStateFlags(unsigned long eventState) {
    return static_cast<std::uint32_t>(eventState & 0xFFFFu);
}

// A length the resource manager reports, never more than the buffer that received it.
constexpr std::uint32_t CappedLength(unsigned long reported, std::size_t capacity) {
    return static_cast<std::uint32_t>(std::min<unsigned long>(reported, capacity));
}

// The result code as the analysis sees it. pcsc-lite's LONG is 64 bits wide on 64-bit
// Linux, but its codes are the 32-bit codes of the PC/SC interface.
constexpr ResultCode ToResultCode(long pcscResult) {
    return static_cast<ResultCode>(pcscResult);
}

}  // namespace zebrik::pcsc
