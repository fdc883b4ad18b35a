// The whole analysis run against a resource manager whose every answer comes from the
// fuzz input: the reader list, each reader's state and ATR, the card names, the
// connection, the card state, the reader attributes and the card's responses, and the
// PIN prompts. See fuzz_input.h for the chunks and fuzz_fakes.h for what each call reads.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/analysis/analysis_run.h"
#include "fuzz_fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    fuzz::ChunkReader input(std::span<const std::uint8_t>(data, size));
    fuzz::PinWatch watch;
    fuzz::CheckedReport report;
    fuzz::FuzzPinPrompt prompt(input, watch);
    fuzz::FuzzResourceManager manager(input, watch);
    ReportAndPrompt pane{report, prompt};
    RunAnalysis(pane, manager);
    manager.CheckAllClosed();
    return 0;
}
