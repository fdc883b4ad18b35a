// zebrik_bench_gui: the window of zebrik-smartcard, built the way its main() builds it, with
// clocks on it. The program itself takes no options and reads no environment, so the
// benchmark measures this twin instead; it differs from main() only in the lines marked
// "bench".
//
//   zebrik_bench_gui first-paint    prints first_paint_ns (CLOCK_MONOTONIC) and ends
//   zebrik_bench_gui refresh        then presses "&Aktualisieren" (pcscd's readers) and
//                                   prints refresh_ms: from the press to the whole
//                                   report painted in the pane; and plain_ms, the mean
//                                   of the same analysis into a plain text report (no
//                                   window) just before the press and after the report
//                                   was shown, and whether both texts are equal
//   zebrik_bench_gui refresh-sim CARD
//                                   the same against one simulated reader holding the
//                                   catalogue card CARD, in process
//
// Run it with QT_QPA_PLATFORM=offscreen (or under an X server).
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/report_view.h"
#include "app/single_instance.h"
#include "core/analysis/analysis_run.h"
#include "kit/card_file.h"
#include "pcsc/pcsc_resource_manager.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"

namespace {

long long NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double MsBetween(long long from, long long to) {
    return static_cast<double>(to - from) / 1e6;
}

class PlainReport final : public zebrik::Report {
public:
    void Clear() override { text.clear(); }
    void Append(std::string_view utf8Text) override { text.append(utf8Text); }
    void DropSelection() override {}
    std::string text;
};

class CancellingPrompt final : public zebrik::PinPrompt {
public:
    bool AskPin(zebrik::PinEntryBuffer&) override { return false; }
    bool AskPukAndNewPin(zebrik::PinUnblockBuffer&) override { return false; }
};

std::unique_ptr<zebrik::sim::SimResourceManager> OneReaderWith(const std::string& cardName) {
    std::optional<zebrik::sim::CardDescription> card =
        zebrik::sim::FindCard(cardName, ZEBRIK_TEST_CARD_DIR);
    if (!card) {
        return nullptr;
    }
    zebrik::sim::SimReader reader;
    reader.name = "Zebrik Bench-Leser 0";
    reader.card = std::make_shared<zebrik::sim::SimCard>(std::move(*card));
    std::vector<zebrik::sim::SimReader> readers;
    readers.push_back(std::move(reader));
    return std::make_unique<zebrik::sim::SimResourceManager>(std::move(readers));
}

// The analysis into a plain text report, as zebrik-report runs it but with no output.
double PlainRunMs(zebrik::ResourceManager& manager, std::string& text) {
    PlainReport report;
    CancellingPrompt prompt;
    zebrik::ReportAndPrompt pane{report, prompt};
    const long long start = NowNs();
    zebrik::RunAnalysis(pane, manager);
    const long long end = NowNs();
    text = std::move(report.text);
    return MsBetween(start, end);
}

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// Watches the window's paints: the first one of the window, and in the report pane the
// first paint after the text last changed.
class PaintClock final : public QObject {
public:
    PaintClock(zebrik::app::MainWindow& window) : window_(window) {
        window.installEventFilter(this);
        window.Pane().viewport()->installEventFilter(this);
        connect(window.Pane().document(), &QTextDocument::contentsChanged, this,
                [this] { textPainted_ = false; });
    }

    std::function<void()> onFirstPaint;
    std::function<void()> onTextPainted;
    bool TextPainted() const { return textPainted_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        // The paint itself happens after this filter; a zero timer fires once it is done.
        if (watched == &window_ && !firstPaintSeen_) {
            firstPaintSeen_ = true;
            QTimer::singleShot(0, this, [this] { onFirstPaint(); });
        } else if (watched == window_.Pane().viewport() && !textPainted_) {
            textPainted_ = true;
            if (onTextPainted) {
                QTimer::singleShot(0, this, [this] { onTextPainted(); });
            }
        }
        return false;
    }

private:
    zebrik::app::MainWindow& window_;
    bool firstPaintSeen_ = false;
    bool textPainted_ = false;
};

int Usage() {
    std::fputs("usage: zebrik_bench_gui first-paint | refresh | refresh-sim CARD\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc >= 2 ? argv[1] : "";     // bench
    const std::string simCard = argc >= 3 ? argv[2] : "";  // bench
    if (mode != "first-paint" && mode != "refresh" && !(mode == "refresh-sim" && argc == 3)) {
        return Usage();  // bench
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zebrik-smartcard"));
    QApplication::setDesktopFileName(QStringLiteral("de.zebrik.smartcard"));

    zebrik::app::SingleInstance instance(zebrik::app::SingleInstance::DefaultServerName());
    if (instance.Claim() == zebrik::app::SingleInstance::Start::Notified) {
        std::fputs("zebrik_bench_gui: another instance runs\n", stderr);  // bench
        return zebrik::app::kExitCloseBox;
    }

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zebrik-smartcard.svg")));
    const QFont reportFont = zebrik::app::ReportFont();
    zebrik::PcscResourceManager pcscManager;
    std::unique_ptr<zebrik::sim::SimResourceManager> simManager;  // bench
    zebrik::ResourceManager* manager = &pcscManager;              // bench
    if (mode == "refresh-sim") {                                  // bench
        simManager = OneReaderWith(simCard);
        if (!simManager) {
            std::fprintf(stderr, "zebrik_bench_gui: no card named %s\n", simCard.c_str());
            return 2;
        }
        manager = simManager.get();
    }
    zebrik::app::MainWindow window(*manager, reportFont);
    QObject::connect(&instance, &zebrik::app::SingleInstance::showRequested, &window,
                     &zebrik::app::MainWindow::BringToFront);

    // bench: the clocks.
    PaintClock clock(window);
    long long pressed = 0;
    long long runOver = 0;
    std::string plain;
    double plainBeforeMs = 0;
    const auto finish = [&](long long shown) {
        const double plainAfterMs = PlainRunMs(*manager, plain);
        const bool same =
            WithoutCarriageReturns(plain) == window.Pane().toPlainText().toStdString();
        std::printf("refresh_ms=%.3f run_ms=%.3f plain_ms=%.3f same_text=%d report_chars=%lld\n",
                    MsBetween(pressed, shown), MsBetween(pressed, runOver),
                    (plainBeforeMs + plainAfterMs) / 2, same ? 1 : 0,
                    static_cast<long long>(window.Pane().document()->characterCount()));
        std::fflush(stdout);
        window.done(0);
    };
    clock.onFirstPaint = [&] {
        std::printf("first_paint_ns=%lld\n", NowNs());
        std::fflush(stdout);
        if (mode == "first-paint") {
            window.done(0);
            return;
        }
        QTimer::singleShot(0, &window, [&] {
            plainBeforeMs = PlainRunMs(*manager, plain);
            pressed = NowNs();
            window.RefreshButton().click();  // the whole run happens in here
            runOver = NowNs();
            if (clock.TextPainted()) {
                finish(runOver);
            } else {
                clock.onTextPainted = [&] { finish(NowNs()); };
            }
        });
    };

    return window.exec();
}
