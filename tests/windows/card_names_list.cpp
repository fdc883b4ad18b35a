#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "pcsc/card_name_multi_string.h"
#include "pcsc/card_name_scan.h"
#include "pcsc/card_names.h"

// The card names of Debian's ATR list for the unit tests under Wine: the Windows programs
// take theirs from the system's database (pcsc_platform_windows.cpp), so this lives with
// the tests. A named pipe is no regular file, so the check before opening keeps the query
// from waiting.
namespace zebrik {

ResultCode ListCardNames(const std::string& listPath, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(listPath, error)) {
        return kScardEUnsupportedFeature;
    }
    std::ifstream list(listPath, std::ios::binary);
    if (!list) {
        return kScardEUnsupportedFeature;
    }
    const std::size_t room = std::min<std::size_t>(length, names.size());
    if (room == 0) {
        return kScardEInsufficientBuffer;
    }
    CardNameMultiString found(room);
    CardNameScan scan(atr, found);
    std::array<char, 16 * 1024> block;
    for (;;) {
        list.read(block.data(), block.size());
        const auto got = static_cast<std::size_t>(list.gcount());
        if (list.bad()) {
            return kScardEUnsupportedFeature;
        }
        if (got == 0 || !scan.Feed(std::string_view(block.data(), got))) {
            break;
        }
    }
    scan.Finish();
    length = static_cast<std::uint32_t>(found.CopyTo(names.first(room)));
    return kScardSuccess;
}

}  // namespace zebrik
