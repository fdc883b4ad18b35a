#include <winscard.h>

#include "pcsc/card_names.h"
#include "pcsc/pcsc_mapping.h"
#include "pcsc/pcsc_platform.h"

namespace zebrik::pcsc {

// The mapping is written without the pcsc-lite headers; these keep it honest.
static_assert(kFlagUnknown == SCARD_UNKNOWN);
static_assert(kFlagAbsent == SCARD_ABSENT);
static_assert(kFlagPresent == SCARD_PRESENT);
static_assert(kFlagSwallowed == SCARD_SWALLOWED);
static_assert(kFlagPowered == SCARD_POWERED);
static_assert(kFlagNegotiable == SCARD_NEGOTIABLE);
static_assert(kFlagSpecific == SCARD_SPECIFIC);

std::uint32_t CardState(std::uint32_t reported, std::uint32_t activeProtocol) {
    return CardStateFromStatus(reported, activeProtocol);
}

bool NamesToUtf8(std::span<char> /*names*/, std::uint32_t& /*length*/) {
    return true;
}

std::string NameForResourceManager(const std::string& utf8Name) {
    return utf8Name;
}

ResultCode ListKnownCards(std::intptr_t /*context*/, const std::string& cardList,
                          std::span<const std::uint8_t> atr, std::span<char> names,
                          std::uint32_t& length) {
    return ListCardNames(cardList, atr, names, length);
}

}  // namespace zebrik::pcsc
