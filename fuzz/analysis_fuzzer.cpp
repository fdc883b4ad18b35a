// The whole analysis run against a resource manager whose every answer comes from the
// fuzz input: the reader list, each reader's state and ATR, the card names, the
// connection, the card state, the reader attributes and the card's responses, and the
// PIN prompts. See fuzz_input.h for the chunks and fuzz_fakes.h for what each call reads.
// The run explains each ATR and is traced, as zebrik-report --atr --trace does it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/analysis/analysis_run.h"
#include "core/analysis/command_trace.h"
#include "fuzz_fakes.h"

namespace {

// Whatever a card or reader sends, a trace line stays one line of UTF-8.
struct CheckedTrace : zebrik::TraceSink {
    void WriteLine(std::string_view line) override {
        if (line.find_first_of("\r\n") != std::string_view::npos ||
            !zebrik::fuzz::IsValidUtf8(line)) {
            zebrik::fuzz::Finding("a trace line that is not one line of UTF-8");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    fuzz::ChunkReader input(std::span<const std::uint8_t>(data, size));
    fuzz::PinWatch watch;
    fuzz::CheckedReport report;
    fuzz::FuzzPinPrompt prompt(input, watch);
    fuzz::FuzzResourceManager manager(input, watch);
    CheckedTrace trace;
    TracingResourceManager traced(manager, trace);
    ReportAndPrompt pane{report, prompt};
    RunAnalysis(pane, traced, {.decodeAtr = true});
    manager.CheckAllClosed();
    return 0;
}
