// The BER-TLV reader and the EF.DIR record parser over any bytes: every element handed
// out must lie wholly inside the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/cards/general/tlv.h"
#include "fuzz_fakes.h"

namespace {

void RequireInside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    if (part.empty()) {
        return;
    }
    if (part.data() < whole.data() || part.data() + part.size() > whole.data() + whole.size()) {
        zebrik::fuzz::Finding("a TLV value outside the bytes it was read from");
    }
    // Touch every byte, so that the sanitizer sees a read past the end, too.
    volatile std::uint8_t sum = 0;
    for (std::uint8_t byte : part) {
        sum = static_cast<std::uint8_t>(sum + byte);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    // A copy of exactly the input's length, so that one byte too far is a heap overflow.
    const std::vector<std::uint8_t> copy(data, data + size);
    const std::span<const std::uint8_t> bytes(copy);

    // Every element in a row, as a walker over a template would take them.
    std::size_t offset = 0;
    while (const auto element = ReadTlv(bytes, offset)) {
        RequireInside(element->value, bytes);
        if (element->end <= offset || element->end > bytes.size()) {
            fuzz::Finding("a TLV element that does not move on or ends past the bytes");
        }
        offset = element->end;
    }
    for (std::size_t start = 0; start <= bytes.size() + 1; ++start) {
        if (const auto element = ReadTlv(bytes, start)) {
            RequireInside(element->value, bytes);
        }
    }
    if (const auto entry = ParseDirectoryRecord(bytes)) {
        RequireInside(entry->aid, bytes);
        if (entry->label) {
            RequireInside(*entry->label, bytes);
        }
    }
    return 0;
}
