// DispatchCardFamily over a connection to a card whose every answer comes from the fuzz
// input. Byte 0 picks the protocol (0: T=0, 1: T=1, 2: none, 3: the byte itself, which is
// neither), byte 1 the memory-card bus; then the chunks of the commands and prompts.
#include "core/analysis/dispatch.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    testing::Script script({data, size});
    const std::uint8_t pick = script.Byte();
    const std::uint32_t protocols[] = {kProtocolT0, kProtocolT1, kProtocolUndefined, pick};
    const std::uint32_t protocol = protocols[pick % 4];
    const auto bus = static_cast<MemoryCardBus>(script.Byte() % 4);
    testing::ScriptedResourceManager manager(script);
    testing::ScriptedPinPrompt prompt(script);
    testing::RuleWatch watch(manager, prompt);
    watch.keep = fuzz::kShowReport;
    watch.Opened(1);
    ReportAndPrompt pane{watch, watch};
    DispatchCardFamily(pane, CardConnection{watch, 1}, protocol, bus);

    fuzz::Require(watch.calls == watch.transmissions, "the dispatch called more than Transmit");
    const bool known =
        protocol == kProtocolT1 || (protocol == kProtocolT0 && bus == MemoryCardBus::None);
    fuzz::Require(known || watch.transmissions == 0,
                  "a command to a memory card or a card of unknown protocol");
    fuzz::Done(watch);
    return 0;
}
