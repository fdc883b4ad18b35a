// The BER-TLV reader and the EF.DIR record parser over any bytes, on a heap copy of exactly
// the input's length: every element handed out lies wholly inside the bytes, and moves on.
#include "core/cards/general/tlv.h"
#include "fuzz.h"

namespace {

void RequireInside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    zebrik::fuzz::Require(
        part.empty() || (part.data() >= whole.data() &&
                         part.data() + part.size() <= whole.data() + whole.size()),
        "a TLV value outside the bytes it was read from");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    const std::vector<std::uint8_t> copy(data, data + size);
    const std::span<const std::uint8_t> bytes(copy);
    // From every offset, those a walk along the elements reaches among them.
    for (std::size_t start = 0; start <= bytes.size() + 1; ++start) {
        if (const auto element = ReadTlv(bytes, start)) {
            RequireInside(element->value, bytes);
            fuzz::Require(element->end > start && element->end <= bytes.size(),
                          "a TLV element that does not move on or ends past the bytes");
        }
    }
    if (const auto entry = ParseDirectoryRecord(bytes)) {
        RequireInside(entry->aid, bytes);
        RequireInside(entry->label.value_or(std::span<const std::uint8_t>()), bytes);
    }
    return 0;
}
