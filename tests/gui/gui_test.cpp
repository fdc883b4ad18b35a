// The window over simulated readers, the PIN dialogs and the single-instance rule.
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <thread>

#include "app/banner.h"
#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/report_view.h"
#include "app/single_instance.h"
#include "core/analysis/analysis_run.h"
#include "kit/card_file.h"
#include "sim/catalog.h"
#include "support/fakes.h"

namespace app = zebrik::app;
namespace sim = zebrik::sim;

namespace {

QString PaneText(std::string_view report) {
    return QString::fromUtf8(report.data(), static_cast<qsizetype>(report.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::vector<sim::SimReader> ReaderWith(const char* cardName) {
    return {zebrik::testing::CardReader("Zebrik Test-Leser 0",
                                        sim::FindCard(cardName, ZEBRIK_TEST_CARD_DIR).value())};
}

// The demo's readers (none asks for a PIN) and a SIM that does.
std::vector<sim::SimReader> DemoAndPinReaders() {
    std::vector<sim::SimReader> readers = sim::DemoReaders();
    readers.push_back(ReaderWith("sim-pin").front());
    return readers;
}

// What the analysis writes for these readers when every PIN asked for is 1234.
QString ExpectedReport(std::vector<sim::SimReader> readers) {
    sim::SimResourceManager manager(std::move(readers));
    zebrik::testing::StringReport report;
    zebrik::testing::ScriptedPinPrompt typed;
    typed.answers = {{true, "1234", ""}};
    zebrik::ReportAndPrompt pane{report, typed};
    zebrik::RunAnalysis(pane, manager);
    return PaneText(report.text);
}

// Simulated readers that let a test look at the window from inside the run and answer at
// a given pace (a card in a reader takes about 0.1 ms a command).
class Readers final : public sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    std::function<void()> duringRun;
    std::chrono::microseconds pace{0};

    zebrik::ResultCode EstablishContext(std::uint32_t scope,
                                        zebrik::ContextHandle& context) override {
        if (duringRun) {
            duringRun();
        }
        return SimResourceManager::EstablishContext(scope, context);
    }
    zebrik::ResultCode Transmit(zebrik::CardHandle card, zebrik::SendPci pci,
                                std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> response, std::uint32_t& length) override {
        std::this_thread::sleep_for(pace);
        return SimResourceManager::Transmit(card, pci, command, response, length);
    }
};

struct Window {
    explicit Window(std::vector<sim::SimReader> list = {}) : readers(std::move(list)) {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    Readers readers;
    app::MainWindow window{readers, app::ReportFont()};
    app::ReportView& pane = window.Pane();
};

class EventHook final : public QObject {
public:
    explicit EventHook(std::function<void(QEvent*)> seen) : seen_(std::move(seen)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        seen_(event);
        return false;
    }

private:
    std::function<void(QEvent*)> seen_;
};

Qt::CursorShape OverrideShape() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::BlankCursor;  // blank: none set
}

// Closes every message box there is, the innermost first; returns their texts.
QStringList CloseMessageBoxes() {
    QStringList texts;
    while (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->accept();
    }
    return texts;
}

// Runs `act` on the dialog of type Dialog once it is open and modal, then closes it if
// `act` did not, so that a failed check cannot hang the test.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog&)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act, triesLeft = 1000]() mutable {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr && --triesLeft > 0) {
            return;
        }
        poll->deleteLater();
        poll->stop();
        if (dialog != nullptr) {
            act(*dialog);
            if (dialog->isVisible()) {
                dialog->done(0);
            }
        }
    });
    poll->start(5);
}

void Select(QPlainTextEdit& pane, int anchor, int position) {
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    pane.setTextCursor(cursor);
}

// Types characters as a keyboard layout delivers them, also those outside Latin-1 that
// QTest::keyClicks cannot; '\b' is Backspace and '|' moves on to the next field.
void Type(const QList<QLineEdit*>& fields, const QString& text) {
    qsizetype field = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('|')) {
            ++field;
        } else if (c == QLatin1Char('\b')) {
            QTest::keyClick(fields.at(field), Qt::Key_Backspace);
        } else {
            for (const auto type : {QTest::Press, QTest::Release}) {
                QTest::sendKeyEvent(type, fields.at(field), Qt::Key_unknown, QString(c), {});
            }
        }
    }
}

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsWithTheBannerInAFixedWindow() {
        Window w;
        const QString banner = PaneText(app::kBanner);
        QCOMPARE(w.pane.toPlainText(), banner);
        QCOMPARE(w.pane.textCursor().position(), banner.size());
        QVERIFY(!w.pane.textCursor().hasSelection());
        QCOMPARE(w.window.windowTitle(), QStringLiteral("Zebrik SmartCard"));
        QVERIFY(!w.window.windowIcon().isNull());
        QCOMPARE(w.window.minimumSize(), w.window.maximumSize());
        QVERIFY(!(w.window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.pane.isReadOnly() && QFontInfo(w.pane.font()).fixedPitch());

        // The focus starts on the default button and goes round in this order.
        QVERIFY(w.window.RefreshButton().isDefault());
        for (const auto& [widget, text] : std::vector<std::pair<QWidget*, QString>>{
                 {&w.window.RefreshButton(), "&Aktualisieren"},
                 {&w.window.SelectAllButton(), "Alles &markieren"},
                 {&w.window.CopyButton(), "&Kopieren"},
                 {&w.window.ExitButton(), "&Beenden"},
                 {&w.pane, ""},
                 {&w.window.RefreshButton(), "&Aktualisieren"}}) {
            QCOMPARE(QApplication::focusWidget(), widget);
            QCOMPARE(widget->property("text").toString(), text);
            QTest::keyClick(widget, Qt::Key_Tab);
        }
        QTest::mouseClick(&w.window.SelectAllButton(), Qt::LeftButton);
        QCOMPARE(w.pane.textCursor().selectedText().size(), banner.size());
    }

    // A run: the buttons go off and come back with the focus on "&Aktualisieren",
    // the window takes no input meanwhile, but the PIN typed into the dialog gets through.
    void runsWithTheButtonsOffTakesNoInputButThePin() {
        const QString expected = ExpectedReport(DemoAndPinReaders());
        Window w(DemoAndPinReaders());
        w.pane.setFocus();
        const QList<QPushButton*> buttons = w.window.findChildren<QPushButton*>();
        QSignalSpy finished(&w.window, &QDialog::finished);
        QStringList boxes;
        bool observed = false;
        w.readers.duringRun = [&] {
            observed = true;
            QVERIFY(std::ranges::none_of(buttons, &QWidget::isEnabled));
            QVERIFY(w.pane.isEnabled());
            QCOMPARE(OverrideShape(), Qt::WaitCursor);
            // Should the about box open after all, close it so that the test goes on.
            QTimer::singleShot(0, [&] { boxes += CloseMessageBoxes(); });
            QTest::keyClick(w.window.windowHandle(), Qt::Key_F1);
            QTest::keyClick(w.window.windowHandle(), Qt::Key_Escape);
            QTest::keyClick(w.window.windowHandle(), Qt::Key_B, Qt::AltModifier);
            QVERIFY(!w.window.close());
        };
        int dialogs = 0;
        WhenOpen<app::PinEntryDialog>([&](app::PinEntryDialog& dialog) {
            ++dialogs;
            QCOMPARE(dialog.parentWidget(), &w.window);
            QVERIFY(dialog.isModal());
            QCOMPARE(OverrideShape(), Qt::ArrowCursor);
            // Text selected meanwhile must not be replaced by what the run writes next.
            Select(w.pane, 0, 3);
            QTest::keyClicks(&dialog.PinField(), QStringLiteral("1234"));
            QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
        });

        QTest::mouseClick(&w.window.RefreshButton(), Qt::LeftButton);
        QTest::qWait(250);  // a mnemonic clicks its button only after 100 ms

        QVERIFY(observed);
        QCOMPARE(dialogs, 1);
        QVERIFY(buttons.size() == 4 && std::ranges::all_of(buttons, &QWidget::isEnabled));
        QCOMPARE(w.window.focusWidget(), &w.window.RefreshButton());
        QVERIFY(w.window.RefreshButton().isDefault());
        QCOMPARE(OverrideShape(), Qt::BlankCursor);
        QCOMPARE(boxes, QStringList());
        QCOMPARE(finished.count(), 0);
        QVERIFY(w.window.isVisible());
        QCOMPARE(w.pane.toPlainText(), expected);
        QVERIFY(!w.pane.textCursor().hasSelection());
    }

    void showsALongReportAsItGrowsAndItsEndAfterwards() {
        const QString expected = ExpectedReport(ReaderWith("sim-phonebook-1000"));
        Window w(ReaderWith("sim-phonebook-1000"));
        w.readers.pace = std::chrono::microseconds(100);
        int paints = 0;
        EventHook counter([&](QEvent* event) {
            paints += event->type() == QEvent::Paint && w.window.RunUnderWay();
        });
        w.pane.viewport()->installEventFilter(&counter);
        for (int run = 0; run < 2; ++run) {
            const int paintsBefore = paints;
            w.window.Refresh();
            QVERIFY(paints - paintsBefore > 1);
            QCOMPARE(w.pane.toPlainText(), expected);
            QVERIFY(w.pane.verticalScrollBar()->maximum() > 0);
            QVERIFY(w.pane.textCursor().atEnd());
            QVERIFY(w.pane.viewport()->rect().contains(w.pane.cursorRect()));
        }
    }

    // A selection made meanwhile stays, in view, and is what "&Kopieren" takes; without one
    // it takes everything.
    void appendsAtTheEndAndCopiesTheSelectionOrEverything() {
        Window w;
        w.pane.Clear();
        std::string report = "Erste Zeile\r\nZweite Zeile\r\n\r\n";
        w.pane.Append(report);
        QCoreApplication::processEvents();
        Select(w.pane, 18, 6);
        for (int i = 0; i < 1000; ++i) {  // far beyond the 32,767 characters of an edit control
            const std::string line = "Eintrag " + std::to_string(i) + std::string(40, 'x') + "\r\n";
            w.pane.Append(line);
            report += line;
        }
        QCoreApplication::processEvents();
        QCOMPARE(w.pane.toPlainText(), PaneText(report));
        QCOMPARE(w.pane.verticalScrollBar()->value(), 0);
        QTest::mouseClick(&w.window.CopyButton(), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Zeile\nZweite"));
        QCOMPARE(std::pair(w.pane.textCursor().anchor(), w.pane.textCursor().position()),
                 std::pair(18, 6));

        w.pane.DropSelection();
        w.pane.Append("mit\xC2\xA0Leerzeichen\r\n");
        QCoreApplication::processEvents();
        QVERIFY(w.pane.textCursor().atEnd() && !w.pane.textCursor().hasSelection());
        QTest::mouseClick(&w.window.CopyButton(), Qt::LeftButton);
        const QString all = PaneText(report + "mit\xC2\xA0Leerzeichen\r\n");
        QCOMPARE(QApplication::clipboard()->text(), all);
        QCOMPARE(w.pane.textCursor().selectedText().size(), all.size());
    }

    void opensTheAboutBoxOnlyOnce() {
        Window w;
        QStringList boxes;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] { boxes = CloseMessageBoxes(); });
            w.window.ShowAbout();
        });
        QTest::keyClick(w.window.windowHandle(), Qt::Key_F1);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].contains(QStringLiteral("Version " ZEBRIK_VERSION)));
    }

    void endsWithTheCodeOfTheWayItWasClosed() {
        enum How { Click, Key, CloseBox };
        const std::tuple<How, Qt::Key, Qt::KeyboardModifiers, int> ways[] = {
            {Click, {}, {}, 1},  // "&Beenden"
            {Key, Qt::Key_B, Qt::AltModifier, 1},
            {Key, Qt::Key_Escape, {}, 2},
            {CloseBox, {}, {}, 0}};
        for (const auto& [how, key, modifiers, exitCode] : ways) {
            Window w;
            QSignalSpy finished(&w.window, &QDialog::finished);
            if (how == Click) {
                QTest::mouseClick(&w.window.ExitButton(), Qt::LeftButton);
            } else if (how == CloseBox) {
                QVERIFY(w.window.close());
            } else {
                QTest::keyClick(w.window.windowHandle(), key, modifiers);
            }
            QTRY_COMPARE(finished.count(), 1);  // a mnemonic clicks its button after 100 ms
            QCOMPARE(finished.at(0).at(0).toInt(), exitCode);
            QCOMPARE(w.window.result(), exitCode);
            QVERIFY(!w.window.isVisible());
        }
    }

    void pinDialogs_data() {
        QTest::addColumn<bool>("unblock");
        QTest::addColumn<QString>("typed");  // fields separated by '|', '\b' is Backspace
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("stored");  // in hex; "-": the buffer left alone
        QFile cases(QFINDTESTDATA("pin_dialog_cases.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QString& line : QString::fromUtf8(cases.readAll()).split('\n')) {
            const QStringList c = line.split(';');
            if (!line.isEmpty() && !line.startsWith('#')) {
                QVERIFY2(c.size() == 6, qPrintable(line));
                QTest::newRow(qPrintable(c[0]))
                    << (c[1] == "unblock") << QString(c[2]).replace("\\b", "\b") << (c[3] == "an")
                    << c[4] << c[5];
            }
        }
    }
    // Opened as the run opens them, over a window with the wait cursor; typed into, closed.
    void pinDialogs() {
        QFETCH(bool, unblock);
        QFETCH(QString, typed);
        QFETCH(bool, okEnabled);
        QFETCH(QString, way);
        QFETCH(QString, stored);
        QWidget window;
        window.show();
        zebrik::PinEntryBuffer pin{};
        zebrik::PinUnblockBuffer pair{};
        Qt::CursorShape whileOpen = Qt::BlankCursor;
        WhenOpen<QDialog>([&](QDialog& dialog) {
            whileOpen = OverrideShape();
            QVERIFY(dialog.parentWidget() == &window && dialog.isModal());
            QCOMPARE(dialog.windowTitle(), unblock ? "PIN entsperren" : "PIN prüfen");
            const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
            QString echo;
            for (QLineEdit* field : fields) {
                echo += field->echoMode() == QLineEdit::Password ? '*' : 'a';
            }
            QCOMPARE(echo, unblock ? "a**" : "*");  // the PUK shows
            Type(fields, typed);
            QVERIFY(std::ranges::none_of(fields, [](QLineEdit* field) {
                return field->text().size() > 8 || field->text().contains(QChar(0x142));
            }));
            const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 2);
            QCOMPARE(buttons[0]->text() + buttons[1]->text(), QStringLiteral("OKAbbrechen"));
            QCOMPARE(buttons[0]->isEnabled(), okEnabled);
            if (way == "OK" || way == "Cancel") {
                QTest::mouseClick(buttons[way == "OK" ? 0 : 1], Qt::LeftButton);
            } else if (way == "CloseBox") {
                dialog.close();
            } else {
                QTest::keyClick(fields.back(), way == "Return" ? Qt::Key_Return : Qt::Key_Escape);
            }
            QVERIFY(std::ranges::all_of(fields, [](QLineEdit* f) { return f->text().isEmpty(); }));
        });
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        app::DialogPinPrompt prompt(window);
        const bool confirmed = unblock ? prompt.AskPukAndNewPin(pair) : prompt.AskPin(pin);
        QCOMPARE(OverrideShape(), Qt::WaitCursor);
        QGuiApplication::restoreOverrideCursor();

        QCOMPARE(whileOpen, Qt::ArrowCursor);
        QCOMPARE(confirmed, stored != "-");
        const auto hex = [](const char* text) { return QByteArray(text).toHex().toUpper(); };
        const QByteArray untouched = unblock ? "|" : "";
        QCOMPARE(unblock ? hex(pair.Puk()) + '|' + hex(pair.NewPin()) : hex(pin.pin.data()),
                 stored != "-" ? stored.toLatin1() : untouched);
    }

    void startsOnceAndHandsOverToTheFirst() {
        using Start = app::SingleInstance::Start;
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        {  // a socket file nobody listens on, as a crashed instance leaves it
            QLocalServer crashed;
            QVERIFY(crashed.listen(dir.filePath(QStringLiteral("crashed"))));
            QCOMPARE(::link(qPrintable(crashed.fullServerName()), qPrintable(name)), 0);
        }
        app::SingleInstance first(name);
        QSignalSpy showRequests(&first, &app::SingleInstance::showRequested);
        QCOMPARE(first.Claim(), Start::First);
        QLocalSocket stranger;
        stranger.connectToServer(name);
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("hide\n");
        QVERIFY(stranger.waitForBytesWritten(1000));
        app::SingleInstance second(name);
        QCOMPARE(second.Claim(), Start::Notified);
        QTRY_COMPARE(showRequests.count(), 1);
        QTest::qWait(100);
        QCOMPARE(showRequests.count(), 1);

        app::SingleInstance alone(dir.filePath(QStringLiteral("no-such-directory/instance")));
        QCOMPARE(alone.Claim(), Start::Alone);
    }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
