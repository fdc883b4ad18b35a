// zebrik-report: the command-line twin of the window. One analysis run over every
// reader, the report on standard output.
#include <cstdio>
#include <string_view>

#include "cli/stream_report.h"
#include "cli/terminal_pin_prompt.h"
#include "core/analysis/analysis_run.h"
#include "pcsc/pcsc_resource_manager.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"

namespace {

constexpr std::string_view kVersion = ZEBRIK_VERSION;

constexpr std::string_view kHelp =
    "Aufruf: zebrik-report [--demo]\n"
    "\n"
    "Liest die Chipkarten in allen Chipkartenlesern der Smartcard-Ressourcenverwaltung\n"
    "(pcscd) und schreibt den Bericht als UTF-8 auf die Standardausgabe. Fragt eine\n"
    "SIM-Karte nach PIN oder PUK, wird am Terminal gefragt; ohne Terminal gilt die\n"
    "Frage als abgebrochen.\n"
    "\n"
    "  --demo     Bericht über die eingebauten Beispielleser und -karten (ohne pcscd)\n"
    "  --help     diese Hilfe\n"
    "  --version  die Versionsnummer\n"
    "\n"
    "Rückgabewert: 0, wenn alle Leser durchgegangen wurden; 1, wenn die\n"
    "Ressourcenverwaltung nicht erreichbar war oder keine Leser auflisten konnte;\n"
    "2 bei einem falschen Aufruf; 3, wenn der Bericht nicht geschrieben werden konnte.\n";

constexpr std::string_view kUsage = "Aufruf: zebrik-report [--demo | --help | --version]\n";

void Print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

int Run(zebrik::ResourceManager& manager) {
    zebrik::cli::StreamReport report(stdout);
    zebrik::cli::TerminalPinPrompt prompt;
    zebrik::ReportAndPrompt pane{report, prompt};
    const zebrik::ResultCode result = zebrik::RunAnalysis(pane, manager);
    report.Finish();
    if (!report.Written()) {
        std::fputs("zebrik-report: Der Bericht konnte nicht geschrieben werden.\n", stderr);
        return 3;
    }
    return result == zebrik::kScardSuccess ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool demo = false;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--demo") {
            demo = true;
        } else if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            std::fprintf(stderr, "zebrik-report: unbekannte Angabe \"%s\"\n", argv[i]);
            Print(stderr, kUsage);
            return 2;
        }
    }
    if (help) {
        Print(stdout, kHelp);
        return 0;
    }
    if (version) {
        std::printf("zebrik-report %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
        return 0;
    }
    if (demo) {
        zebrik::sim::SimResourceManager manager(zebrik::sim::DemoReaders());
        return Run(manager);
    }
    zebrik::PcscResourceManager manager;
    return Run(manager);
}
