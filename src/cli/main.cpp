// zebrik-report: the command-line twin of the window. One analysis run over every
// reader, the report on standard output; with --watch, one more after every change.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/stream_report.h"
#include "cli/terminal_pin_prompt.h"
#include "cli/trace_file.h"
#include "cli/watch.h"
#include "core/analysis/analysis_run.h"
#include "core/analysis/command_trace.h"
#include "pcsc/pcsc_resource_manager.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"

namespace {

constexpr std::string_view kVersion = ZEBRIK_VERSION;

constexpr std::string_view kHelp =
    "Aufruf: zebrik-report [--demo] [--atr] [--trace DATEI] [--watch]\n"
    "\n"
    "Liest die Chipkarten in allen Chipkartenlesern der Smartcard-Ressourcenverwaltung\n"
    "(pcscd; unter Windows der Dienst \"Smartcard\") und schreibt den Bericht als UTF-8\n"
    "auf die Standardausgabe. Fragt eine SIM-Karte nach PIN oder PUK, wird am Terminal\n"
    "(unter Windows: an der Konsole) gefragt; ohne sie gilt die Frage als abgebrochen.\n"
    "\n"
    "  --demo         Bericht über die eingebauten Beispielleser und -karten\n"
    "                 (ohne pcscd)\n"
    "  --atr          nach jeder ATR-Zeile den ATR Byte für Byte erklären\n"
    "  --trace DATEI  jeden Befehl an die Karten, jede Antwort und jeden Fehler der\n"
    "                 Ressourcenverwaltung in DATEI mitschreiben (\"-\": auf die\n"
    "                 Standardfehlerausgabe); PIN und PUK erscheinen nur als \"**\"\n"
    "  --watch        nach dem Bericht warten und einen neuen Bericht schreiben, wenn\n"
    "                 eine Karte gesteckt oder gezogen oder ein Leser angeschlossen\n"
    "                 oder getrennt wird; bis Strg-C (nicht mit --demo)\n"
    "  --help         diese Hilfe\n"
    "  --version      die Versionsnummer\n"
    "\n"
    "Rückgabewert: 0, wenn alle Leser durchgegangen wurden oder --watch mit Strg-C\n"
    "oder SIGTERM (unter Windows: Strg-Pause oder Schließen der Konsole) beendet\n"
    "wurde; 1, wenn die Ressourcenverwaltung nicht erreichbar war oder keine Leser\n"
    "auflisten konnte; 2 bei einem falschen Aufruf; 3, wenn der Bericht oder die\n"
    "Mitschrift nicht geschrieben werden konnte.\n";

constexpr std::string_view kUsage =
    "Aufruf: zebrik-report [--demo] [--atr] [--trace DATEI] [--watch] | --help | --version\n";

void Print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

struct Options {
    bool demo = false;
    bool help = false;
    bool version = false;
    bool watch = false;
    zebrik::AnalysisOptions analysis;
    std::optional<std::string> trace;
};

// The options, or nothing after a message on stderr.
std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--demo") {
            options.demo = true;
        } else if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--watch") {
            options.watch = true;
        } else if (argument == "--atr") {
            options.analysis.decodeAtr = true;
        } else if (argument == "--trace") {
            // An option in its place is a forgotten file name, not a file to create.
            const std::string_view file = i + 1 < argc ? argv[i + 1] : "";
            if (file.empty() || file.starts_with("--")) {
                std::fputs("zebrik-report: --trace braucht einen Dateinamen oder \"-\"\n", stderr);
                Print(stderr, kUsage);
                return std::nullopt;
            }
            options.trace = file;
            ++i;
        } else {
            std::fprintf(stderr, "zebrik-report: unbekannte Angabe \"%s\"\n", argv[i]);
            Print(stderr, kUsage);
            return std::nullopt;
        }
    }
    if (options.demo && options.watch && !options.help && !options.version) {
        std::fputs(
            "zebrik-report: --watch wartet auf Karten in echten Lesern und geht nicht "
            "mit --demo\n",
            stderr);
        return std::nullopt;
    }
    return options;
}

// The exit status of a run (or a watch) once it has ended.
int Finish(zebrik::cli::StreamReport& report, zebrik::cli::TraceFile* trace, int status) {
    report.Finish();
    if (!report.Written()) {
        std::fputs("zebrik-report: Der Bericht konnte nicht geschrieben werden.\n", stderr);
        status = 3;
    }
    if (trace != nullptr && !trace->Finish()) {
        std::fputs("zebrik-report: Die Mitschrift konnte nicht geschrieben werden.\n", stderr);
        status = 3;
    }
    return status;
}

int Run(zebrik::ResourceManager& cards, const Options& options) {
    std::unique_ptr<zebrik::cli::TraceFile> trace;
    if (options.trace) {
        trace = zebrik::cli::TraceFile::Open(*options.trace);
        if (!trace) {
            std::fprintf(stderr,
                         "zebrik-report: Die Mitschrift \"%s\" kann nicht angelegt werden.\n",
                         options.trace->c_str());
            return 3;
        }
    }
    std::optional<zebrik::TracingResourceManager> traced;
    if (trace) {
        traced.emplace(cards, *trace);
    }
    zebrik::cli::StreamReport report(stdout, zebrik::cli::PrepareReportOutput());
    zebrik::cli::FlushBeforeEachCall manager(
        traced ? static_cast<zebrik::ResourceManager&>(*traced) : cards, report);
    zebrik::cli::TerminalPinPrompt prompt;
    if (options.watch) {
        zebrik::cli::WatchOutput output{report, prompt, trace.get()};
        zebrik::cli::WatchReaders(manager, options.analysis, output);
        return Finish(report, trace.get(), 0);
    }
    zebrik::ReportAndPrompt pane{report, prompt};
    const zebrik::ResultCode result = zebrik::RunAnalysis(pane, manager, options.analysis);
    return Finish(report, trace.get(), result == zebrik::kScardSuccess ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        return 2;
    }
    if (options->help) {
        Print(stdout, kHelp);
        return 0;
    }
    if (options->version) {
        std::printf("zebrik-report %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
        return 0;
    }
    if (options->demo) {
        zebrik::sim::SimResourceManager manager(zebrik::sim::DemoReaders());
        return Run(manager, *options);
    }
    zebrik::PcscResourceManager manager;
    return Run(manager, *options);
}
