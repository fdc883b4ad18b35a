// The ATR list parser (smartcard_list.txt format) and the card-name query built on it.
//
// Input: byte 0 is the ATR length (0 to 36), then the ATR, then byte n is the room the
// caller offers for the names (0 to 255, and the span may be shorter than it), then the
// text of the list.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/analysis/atr_names.h"
#include "fuzz_fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    fuzz::ChunkReader header(std::span<const std::uint8_t>(data, size));
    const std::size_t atrLength = std::min<std::size_t>(header.TakeByte(), kMaxAtrLength);
    std::vector<std::uint8_t> atr;
    for (std::size_t i = 0; i < atrLength; ++i) {
        atr.push_back(header.TakeByte());
    }
    const std::uint32_t offered = header.TakeByte();
    const std::size_t used = std::min(size, atrLength + 2);
    const std::string_view text(reinterpret_cast<const char*>(data) + used, size - used);

    const AtrNameDatabase database = AtrNameDatabase::Parse(text);
    for (const std::string_view name : database.Names(atr)) {
        if (!fuzz::IsValidUtf8(name) || name.find('\0') != std::string_view::npos) {
            fuzz::Finding("a card name that is not clean UTF-8");
        }
    }

    // The span is a heap block of its own size, so that one byte too far is caught.
    std::vector<char> names(offered / 2 + 1);
    std::uint32_t length = offered;
    if (ListCardNames(&database, atr, names, length) == kScardSuccess) {
        if (length == 0 || length > names.size() || length > offered) {
            fuzz::Finding("card names longer than the room offered");
        }
        if (names[length - 1] != '\0' || (length >= 2 && names[length - 2] != '\0')) {
            fuzz::Finding("a name list not ended by an empty name");
        }
    }
    return 0;
}
