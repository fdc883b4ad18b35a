// The card-name lookup of the pcsc-lite adapter over any list text: the scan of pcsc-tools'
// list format for one ATR and the multi-string of the names it finds.
//
// Input: byte 0 is the ATR length (0 to 36), then the ATR, then byte n is the room the
// caller offers for the names (0 to 255), then the text of the list. The list is read once
// whole and once in pieces of 1 to 16 bytes (the room's low bits), as a file arrives in
// blocks: both must give the same names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_fakes.h"
#include "pcsc/card_name_scan.h"

namespace {

std::string NamesIn(std::string_view list, std::span<const std::uint8_t> atr, std::size_t room,
                    std::size_t pieceSize) {
    zebrik::CardNameMultiString names(room);
    zebrik::CardNameScan scan(atr, names);
    for (std::size_t at = 0; at < list.size(); at += pieceSize) {
        if (!scan.Feed(list.substr(at, pieceSize))) {
            break;
        }
    }
    scan.Finish();
    // A heap block of the room's size, so that one byte too far is caught.
    std::vector<char> out(room);
    return std::string(out.data(), names.CopyTo(out));
}

// A control character but the tab, C1 ones (U+0080 to U+009F) included.
bool HasControlCharacter(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F || c1) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    fuzz::ChunkReader header(std::span<const std::uint8_t>(data, size));
    const std::size_t atrLength = std::min<std::size_t>(header.TakeByte(), kMaxAtrLength);
    std::vector<std::uint8_t> atr;
    for (std::size_t i = 0; i < atrLength; ++i) {
        atr.push_back(header.TakeByte());
    }
    const std::size_t room = header.TakeByte();
    const std::size_t used = std::min(size, atrLength + 2);
    const std::string_view list(reinterpret_cast<const char*>(data) + used, size - used);

    const std::string names = NamesIn(list, atr, room, std::max<std::size_t>(list.size(), 1));
    if (NamesIn(list, atr, room, 1 + room % 16) != names) {
        fuzz::Finding("card names that depend on how the list is cut into pieces");
    }
    if (room == 0) {
        return 0;
    }
    if (names.empty() || names.size() > room) {
        fuzz::Finding("card names longer than the room offered");
    }
    if (names.back() != '\0' || (names.size() >= 2 && names[names.size() - 2] != '\0')) {
        fuzz::Finding("a name list not ended by an empty name");
    }
    for (std::size_t at = 0; at + 1 < names.size();) {
        const std::string_view name(names.data() + at);
        if (!fuzz::IsValidUtf8(name) || HasControlCharacter(name)) {
            fuzz::Finding("a card name that is not clean UTF-8");
        }
        at += name.size() + 1;
    }
    return 0;
}
