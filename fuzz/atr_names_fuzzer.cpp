// The card-name lookup of the pcsc-lite adapter over any list text: the scan of pcsc-tools'
// list format for one ATR and the multi-string of the names it finds.
//
// Byte 0 is the ATR length (0 to 36), then the ATR, then a byte with the room the caller
// offers for the names (0 to 255), then the list. The list is read once whole and once in
// pieces of 1 to 16 bytes (the room's low bits), as a file arrives in blocks: both must give
// the same names.
#include "fuzz.h"
#include "pcsc/card_name_scan.h"

namespace {

std::string NamesIn(std::string_view list, std::span<const std::uint8_t> atr, std::size_t room,
                    std::size_t pieceSize) {
    zebrik::CardNameMultiString names(room);
    zebrik::CardNameScan scan(atr, names);
    for (std::size_t at = 0; at < list.size() && scan.Feed(list.substr(at, pieceSize));) {
        at += pieceSize;
    }
    scan.Finish();
    std::vector<char> out(room);  // a heap block of the room's size: one byte too far is caught
    return std::string(out.data(), names.CopyTo(out));
}

// A control character but the tab, the C1 ones (U+0080 to U+009F) included.
bool HasControlCharacter(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 =
            byte == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F || c1) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    testing::Script header({data, size});
    std::vector<std::uint8_t> atr(std::min<std::size_t>(header.Byte(), kMaxAtrLength));
    std::generate(atr.begin(), atr.end(), [&header] { return header.Byte(); });
    const std::size_t room = header.Byte();
    const std::size_t used = std::min(size, atr.size() + 2);
    const std::string_view list(reinterpret_cast<const char*>(data) + used, size - used);

    const std::string names = NamesIn(list, atr, room, std::max<std::size_t>(list.size(), 1));
    fuzz::Require(NamesIn(list, atr, room, 1 + room % 16) == names,
                  "card names that depend on how the list is cut into pieces");
    if (room == 0) {
        return 0;
    }
    fuzz::Require(!names.empty() && names.size() <= room, "card names longer than the room");
    fuzz::Require(names.ends_with(std::string(std::min<std::size_t>(names.size(), 2), '\0')),
                  "a name list not ended by an empty name");
    for (std::size_t at = 0; at + 1 < names.size();) {
        const std::string_view name(names.data() + at);
        fuzz::Require(testing::IsValidUtf8(name) && !HasControlCharacter(name),
                      "a card name that is not clean UTF-8");
        at += name.size() + 1;
    }
    return 0;
}
