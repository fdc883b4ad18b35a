// The whole analysis run against a resource manager, cards and a card holder whose every
// answer comes from the fuzz input (see ScriptedResourceManager in tests/support/fakes.h),
// explaining each ATR and traced, as zebrik-report --atr --trace runs it.
#include "core/analysis/analysis_run.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zebrik;
    testing::Script script({data, size});
    testing::ScriptedResourceManager manager(script);
    testing::ScriptedPinPrompt prompt(script);
    testing::RuleWatch watch(manager, prompt);
    watch.keep = fuzz::kShowReport;
    TracingResourceManager traced(watch, watch);
    ReportAndPrompt pane{watch, watch};
    RunAnalysis(pane, traced, {.decodeAtr = true});
    watch.Finish();
    fuzz::Done(watch);
    return 0;
}
