#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// BER-TLV as simple card files use it: one-byte tags and one-byte lengths. Every element
// handed out lies wholly inside the bytes it was read from.
namespace zebrik {

struct TlvElement {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> value;
    std::size_t end = 0;  // offset of the byte after the value
};

// The element that starts at `offset`; none when the tag and length bytes are not both
// there or the value would run past the end of `bytes`.
std::optional<TlvElement> ReadTlv(std::span<const std::uint8_t> bytes, std::size_t offset);

// The same with the two-byte length form 81 xx, which the FCPs of a UICC use for long
// templates (ETSI TS 102 221 11.1.1.3).
std::optional<TlvElement> ReadBerTlv(std::span<const std::uint8_t> bytes, std::size_t offset);

// An element looked for by its tag. A plain pair rather than an optional span: optimised
// callers may test the size before the flag (same outcome), and memcheck, which runs over
// every end-to-end case, would see the unset span of an empty optional.
struct FoundTlv {
    bool found = false;
    std::span<const std::uint8_t> value;
};

// The value of the first element with the tag among the elements that follow one another
// in `bytes`; not found when there is none before the first element that does not fit.
FoundTlv FindBerTlv(std::span<const std::uint8_t> bytes, std::uint8_t tag);

// One entry of the application directory EF.DIR (ISO 7816-4): an application template
// (tag 61) whose first element is the AID (tag 4F), optionally followed by the label
// (tag 50); a record that starts with the AID itself is taken as well.
struct DirectoryEntry {
    std::span<const std::uint8_t> aid;
    // None when the record carries no label; a label element of length 0 is an empty one.
    std::optional<std::span<const std::uint8_t>> label;
};

// None when the record names no AID or its lengths run past the record.
std::optional<DirectoryEntry> ParseDirectoryRecord(std::span<const std::uint8_t> record);

}  // namespace zebrik
