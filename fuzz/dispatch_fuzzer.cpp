// DispatchCardFamily against a card whose every answer comes from the fuzz input.
//
// Input: byte 0 picks the protocol (0: T=0, 1: T=1, 2: none, 3: the byte itself, which
// is neither), byte 1 the memory-card bus (None, I2C, TwoWire, ThreeWire), then the chunks
// of fuzz_input.h: one per transmission, one per PIN prompt, in the order they happen.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/analysis/dispatch.h"
#include "fuzz_fakes.h"

namespace {

std::uint32_t ProtocolFrom(std::uint8_t byte) {
    switch (byte % 4) {
        case 0:
            return zebrik::kProtocolT0;
        case 1:
            return zebrik::kProtocolT1;
        case 2:
            return zebrik::kProtocolUndefined;
        default:
            return byte;  // 3, 7, 11, ...: never 1 or 2
    }
}

constexpr zebrik::MemoryCardBus kBuses[] = {zebrik::MemoryCardBus::None, zebrik::MemoryCardBus::I2C,
                                            zebrik::MemoryCardBus::TwoWire,
                                            zebrik::MemoryCardBus::ThreeWire};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    fuzz::ChunkReader input(std::span<const std::uint8_t>(data, size));
    const std::uint32_t protocol = ProtocolFrom(input.TakeByte());
    const MemoryCardBus bus = kBuses[input.TakeByte() % 4];

    fuzz::PinWatch watch;
    fuzz::CheckedReport report;
    fuzz::FuzzPinPrompt prompt(input, watch);
    fuzz::FuzzCard card(input, watch);
    ReportAndPrompt pane{report, prompt};
    DispatchCardFamily(pane, CardConnection{card, fuzz::FuzzCard::kHandle}, protocol, bus);

    // A memory card, and a protocol that is neither T=0 nor T=1, get no command at all.
    if ((protocol == kProtocolT0 && bus != MemoryCardBus::None) ||
        (protocol != kProtocolT0 && protocol != kProtocolT1)) {
        if (card.transmissions != 0) {
            fuzz::Finding("a command to a memory card or a card of unknown protocol");
        }
    }
    return 0;
}
