// zebrik_bench_record: one analysis run over pcscd's readers, as zebrik-report makes it
// without a terminal (the same RunAnalysis over the same pcsc-lite adapter, every PIN
// prompt cancelled), with a recorder between the two that writes each resource-manager
// call into RECORDING (see call_recording.h). The report goes to standard output, as
// zebrik-report writes it but with "\r\n" line ends. The benchmark plays the recording
// back with zebrik_bench_replay --calls: a floor that makes the very calls of the program.
//
//   zebrik_bench_record RECORDING
//
// A command is recorded as it was sent; one that carries a PIN would stand in the file.
// Exit status: 0 after a completed run, 1 when the run or the recording failed.
#include <cstdio>
#include <string_view>

#include "call_recording.h"
#include "core/analysis/analysis_run.h"
#include "pcsc/pcsc_resource_manager.h"

namespace {

class StdoutReport final : public zebrik::Report {
public:
    void Clear() override {}
    void Append(std::string_view utf8Text) override {
        std::fwrite(utf8Text.data(), 1, utf8Text.size(), stdout);
    }
    void DropSelection() override {}
};

// zebrik-report without a terminal: every question counts as cancelled.
class CancellingPrompt final : public zebrik::PinPrompt {
public:
    bool AskPin(zebrik::PinEntryBuffer&) override { return false; }
    bool AskPukAndNewPin(zebrik::PinUnblockBuffer&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: zebrik_bench_record RECORDING\n", stderr);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    zebrik::PcscResourceManager pcsc;
    zebrik::bench::RecordingResourceManager recorder(pcsc, out);
    StdoutReport report;
    CancellingPrompt prompt;
    zebrik::ReportAndPrompt pane{report, prompt};
    const zebrik::ResultCode result = zebrik::RunAnalysis(pane, recorder);
    const bool written = recorder.Written() && std::fclose(out) == 0;
    if (!written) {
        std::fprintf(stderr, "zebrik_bench_record: cannot write %s\n", argv[1]);
    }
    return written && result == zebrik::kScardSuccess ? 0 : 1;
}
