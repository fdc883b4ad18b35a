#include "core/cards/general/tlv.h"

namespace zebrik {
namespace {

constexpr std::uint8_t kTagApplicationTemplate = 0x61;
constexpr std::uint8_t kTagAid = 0x4F;
constexpr std::uint8_t kTagLabel = 0x50;

}  // namespace

std::optional<TlvElement> ReadTlv(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset >= bytes.size() || bytes.size() - offset < 2) {
        return std::nullopt;
    }
    const std::size_t length = bytes[offset + 1];
    const std::size_t start = offset + 2;
    if (length > bytes.size() - start) {
        return std::nullopt;
    }
    return TlvElement{bytes[offset], bytes.subspan(start, length), start + length};
}

std::optional<TlvElement> ReadBerTlv(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset >= bytes.size() || bytes.size() - offset < 2 || bytes[offset + 1] != 0x81) {
        return ReadTlv(bytes, offset);
    }
    if (bytes.size() - offset < 3) {
        return std::nullopt;
    }
    const std::size_t length = bytes[offset + 2];
    const std::size_t start = offset + 3;
    if (length > bytes.size() - start) {
        return std::nullopt;
    }
    return TlvElement{bytes[offset], bytes.subspan(start, length), start + length};
}

FoundTlv FindBerTlv(std::span<const std::uint8_t> bytes, std::uint8_t tag) {
    // Each element ends past its start, so the walk ends.
    for (auto element = ReadBerTlv(bytes, 0); element; element = ReadBerTlv(bytes, element->end)) {
        if (element->tag == tag) {
            return {true, element->value};
        }
    }
    return {};
}

std::optional<DirectoryEntry> ParseDirectoryRecord(std::span<const std::uint8_t> record) {
    // Inside a template that fits the record the AID follows its two header bytes. A
    // template that claims more than the record holds is not stepped into, so its own
    // tag stands where the AID should and the record is refused below.
    std::size_t aidOffset = 0;
    if (const auto outer = ReadTlv(record, 0); outer && outer->tag == kTagApplicationTemplate) {
        aidOffset = 2;
    }
    // The AID and the label are bounded by the record, not by the template: a label that
    // a card puts behind a template counting only the AID is still shown.
    const auto aid = ReadTlv(record, aidOffset);
    if (!aid || aid->tag != kTagAid) {
        return std::nullopt;
    }
    DirectoryEntry entry{aid->value, std::nullopt};
    if (const auto label = ReadTlv(record, aid->end); label && label->tag == kTagLabel) {
        entry.label = label->value;
    }
    return entry;
}

}  // namespace zebrik
