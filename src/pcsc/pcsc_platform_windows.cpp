#include <windows.h>
#include <winscard.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "pcsc/pcsc_platform.h"

namespace zebrik::pcsc {

// Windows' status query gives the card state itself: the six values of the analysis.
static_assert(kCardAbsent == SCARD_ABSENT && kCardPresent == SCARD_PRESENT);
static_assert(kCardSwallowed == SCARD_SWALLOWED && kCardPowered == SCARD_POWERED);
static_assert(kCardNegotiable == SCARD_NEGOTIABLE && kCardSpecific == SCARD_SPECIFIC);
static_assert(kMaxAtrLength == sizeof SCARD_READERSTATEA{}.rgbAtr);

namespace {

// A text from one code page into another, through UTF-16. Bytes the first cannot read
// become the replacement character (or the second's default character).
std::string Recode(std::string_view text, UINT from, UINT to) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(wideLength, 0)), L'\0');
    MultiByteToWideChar(from, 0, text.data(), size, wide.data(), wideLength);
    const int length =
        WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, converted.data(), length, nullptr, nullptr);
    return converted;
}

}  // namespace

std::uint32_t CardState(std::uint32_t reported, std::uint32_t /*activeProtocol*/) {
    return reported;
}

bool NamesToUtf8(std::span<char> names, std::uint32_t& length) {
    if (length == 0) {
        return true;
    }
    std::string_view rest(names.data(), std::min<std::size_t>(length, names.size()));
    std::string converted;
    while (!rest.empty() && rest.front() != '\0') {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        converted += Recode(rest.substr(0, end), CP_ACP, CP_UTF8);
        converted += '\0';
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    converted += '\0';
    if (converted.size() > names.size()) {
        return false;
    }
    std::copy(converted.begin(), converted.end(), names.begin());
    length = static_cast<std::uint32_t>(converted.size());
    return true;
}

std::string NameForResourceManager(const std::string& utf8Name) {
    return Recode(utf8Name, CP_UTF8, CP_ACP);
}

ResultCode ListKnownCards(std::intptr_t context, const std::string& /*cardList*/,
                          std::span<const std::uint8_t> atr, std::span<char> names,
                          std::uint32_t& length) {
    const DWORD offered = static_cast<DWORD>(std::min<std::size_t>(length, names.size()));
    length = 0;
    // Without an ATR the query would list every card the system knows.
    if (atr.empty()) {
        return kScardSuccess;
    }
    // The query takes the ATR without its length and reads as far as the ATR's own bytes
    // say: it gets the full room of an ATR, so that a short one is never read past.
    std::array<BYTE, kMaxAtrLength> fullAtr{};
    std::copy_n(atr.begin(), std::min(atr.size(), fullAtr.size()), fullAtr.begin());
    DWORD filled = offered;
    const LONG result = SCardListCardsA(static_cast<SCARDCONTEXT>(context), fullAtr.data(), nullptr,
                                        0, names.data(), &filled);
    if (result != SCARD_S_SUCCESS) {
        return static_cast<ResultCode>(result);
    }
    if (filled > offered) {
        return kScardEInsufficientBuffer;
    }
    length = filled;
    if (!NamesToUtf8(names.first(offered), length)) {
        length = 0;
        return kScardEInsufficientBuffer;
    }
    return kScardSuccess;
}

}  // namespace zebrik::pcsc
