// The main window over simulated readers: banner, runs, copy, about box, exit codes.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "app/banner.h"
#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/pin_dialogs.h"
#include "app/report_view.h"
#include "core/analysis/analysis_run.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

using zebrik::app::MainWindow;
using zebrik::app::ReportView;

namespace {

QString PaneText(std::string report) {
    QString text = QString::fromUtf8(report);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// The demo readers without cards that would ask for a PIN.
std::vector<zebrik::sim::SimReader> ReadersWithoutPinQuery() {
    std::vector<zebrik::sim::SimReader> readers;
    for (zebrik::sim::SimReader& reader : zebrik::sim::DemoReaders()) {
        if (!reader.card || !reader.card->Description().chv1Enabled) {
            readers.push_back(std::move(reader));
        }
    }
    return readers;
}

std::vector<zebrik::sim::SimReader> OneReaderWith(const char* cardName) {
    zebrik::sim::SimReader reader;
    reader.name = "Zebrik Test-Leser 0";
    if (std::optional<zebrik::sim::CardDescription> card = zebrik::sim::FindCard(cardName)) {
        reader.card = std::make_shared<zebrik::sim::SimCard>(std::move(*card));
    }
    return {std::move(reader)};
}

// What the analysis writes for these readers when asked through the given prompt.
QString ExpectedReport(std::vector<zebrik::sim::SimReader> readers, zebrik::PinPrompt& prompt) {
    zebrik::sim::SimResourceManager manager(std::move(readers));
    zebrik::testing::StringReport report;
    zebrik::ReportAndPrompt pane{report, prompt};
    zebrik::RunAnalysis(pane, manager);
    return PaneText(report.text);
}

// A simulated card that answers as slowly as one in a reader does, about 0.1 ms a command.
class ReaderPacedManager final : public zebrik::sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;

    zebrik::ResultCode Transmit(zebrik::CardHandle card, zebrik::SendPci sendPci,
                                std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> response,
                                std::uint32_t& responseLength) override {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        return SimResourceManager::Transmit(card, sendPci, command, response, responseLength);
    }
};

// A simulated resource manager that lets the test look at the window while the run is
// inside the resource manager.
class ObservedManager final : public zebrik::sim::SimResourceManager {
public:
    using SimResourceManager::SimResourceManager;
    std::function<void()> duringRun;

    zebrik::ResultCode EstablishContext(std::uint32_t scope,
                                        zebrik::ContextHandle& context) override {
        if (duringRun) {
            duringRun();
        }
        return SimResourceManager::EstablishContext(scope, context);
    }
};

// Records the order in which the buttons change their enabled state.
class EnabledChangeLog final : public QObject {
public:
    std::vector<std::pair<QObject*, bool>> changes;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            changes.emplace_back(watched, static_cast<QWidget*>(watched)->isEnabled());
        }
        return false;
    }
};

// Counts the paints of the pane while a run is under way.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(const MainWindow& window) : window_(window) {}
    int duringRun = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint && window_.RunUnderWay()) {
            ++duringRun;
        }
        return false;
    }

private:
    const MainWindow& window_;
};

std::vector<QMessageBox*> VisibleMessageBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

void ShowAndActivate(QWidget& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsWithTheBannerAndTheCaretBehindIt() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());

        const QString banner = PaneText(std::string(zebrik::app::kBanner));
        QCOMPARE(window.Pane().toPlainText(), banner);
        QCOMPARE(window.Pane().textCursor().position(), banner.size());
        QVERIFY(!window.Pane().textCursor().hasSelection());
        QCOMPARE(window.windowTitle(), QStringLiteral("Zebrik SmartCard"));
        QVERIFY(!window.windowIcon().pixmap(16, 16).isNull());
        QVERIFY(!window.windowIcon().pixmap(48, 48).isNull());
    }

    void hasTheButtonsInTabOrderWithRefreshAsDefault() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);

        QCOMPARE(window.RefreshButton().text(), QStringLiteral("&Aktualisieren"));
        QCOMPARE(window.SelectAllButton().text(), QStringLiteral("Alles &markieren"));
        QCOMPARE(window.CopyButton().text(), QStringLiteral("&Kopieren"));
        QCOMPARE(window.ExitButton().text(), QStringLiteral("&Beenden"));
        QVERIFY(window.RefreshButton().isDefault());
        QCOMPARE(QApplication::focusWidget(), &window.RefreshButton());
        const std::vector<QWidget*> order = {&window.SelectAllButton(), &window.CopyButton(),
                                             &window.ExitButton(), &window.Pane(),
                                             &window.RefreshButton()};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void keepsTheProportionsOfItsLayoutInTheDialogFont() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        const zebrik::app::DialogUnits units(window.font());

        QCOMPARE(window.size(), units.Size(423, 275));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.Pane().geometry(), units.Rect(4, 4, 350, 267));
        QCOMPARE(window.ExitButton().geometry(), units.Rect(359, 257, 60, 14));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    }

    void refreshReplacesTheBannerByTheReport() {
        zebrik::testing::ScriptedPinPrompt noAnswers;
        const QString expected = ExpectedReport(ReadersWithoutPinQuery(), noAnswers);
        QVERIFY(expected.contains(QStringLiteral("Chipkartenleser gefunden")));

        zebrik::sim::SimResourceManager manager(ReadersWithoutPinQuery());
        MainWindow window(manager, zebrik::app::ReportFont());
        window.Refresh();

        QCOMPARE(window.Pane().toPlainText(), expected);
        window.Refresh();
        QVERIFY(!window.Pane().toPlainText().contains(QStringLiteral("Version " ZEBRIK_VERSION)));
    }

    void disablesTheButtonsInOrderDuringARunAndGivesRefreshTheFocusAfter() {
        ObservedManager manager(ReadersWithoutPinQuery());
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        window.Pane().setFocus();
        EnabledChangeLog log;
        for (QPushButton* button : {&window.RefreshButton(), &window.SelectAllButton(),
                                    &window.CopyButton(), &window.ExitButton()}) {
            button->installEventFilter(&log);
        }
        bool observed = false;
        manager.duringRun = [&] {
            observed = true;
            for (QPushButton* button : {&window.RefreshButton(), &window.SelectAllButton(),
                                        &window.CopyButton(), &window.ExitButton()}) {
                QVERIFY2(!button->isEnabled(), qPrintable(button->text()));
            }
            QVERIFY(window.Pane().isEnabled());
            QVERIFY(QGuiApplication::overrideCursor() != nullptr);
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        };

        QTest::mouseClick(&window.RefreshButton(), Qt::LeftButton);

        QVERIFY(observed);
        const std::vector<std::pair<QObject*, bool>> expected = {
            {&window.RefreshButton(), false}, {&window.SelectAllButton(), false},
            {&window.CopyButton(), false},    {&window.ExitButton(), false},
            {&window.RefreshButton(), true},  {&window.SelectAllButton(), true},
            {&window.CopyButton(), true},     {&window.ExitButton(), true}};
        QVERIFY(log.changes == expected);
        QCOMPARE(QApplication::focusWidget(), &window.RefreshButton());
        QVERIFY(window.RefreshButton().isDefault());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void takesNoInputDuringARun() {
        ObservedManager manager(ReadersWithoutPinQuery());
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        QSignalSpy finished(&window, &QDialog::finished);
        bool aboutOpened = false;
        manager.duringRun = [&] {
            // Should a box open after all, close it so that the test ends.
            QTimer::singleShot(0, [&] {
                for (QMessageBox* box : VisibleMessageBoxes()) {
                    aboutOpened = true;
                    box->reject();
                }
            });
            QTest::keyClick(window.windowHandle(), Qt::Key_F1);
            QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
            QTest::keyClick(window.windowHandle(), Qt::Key_B, Qt::AltModifier);
            QVERIFY(!window.close());
        };

        window.Refresh();
        QTest::qWait(250);  // a mnemonic clicks its button only after 100 ms

        QVERIFY(!aboutOpened);
        QCOMPARE(finished.count(), 0);
        QVERIFY(window.isVisible());
    }

    void asksForThePinOverTheWindowDuringARun() {
        zebrik::testing::ScriptedPinPrompt typed{{true, "1234", ""}};
        const QString expected = ExpectedReport(OneReaderWith("sim-pin"), typed);
        QCOMPARE(typed.pinAsks, 1);

        zebrik::sim::SimResourceManager manager(OneReaderWith("sim-pin"));
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        int dialogsSeen = 0;
        std::function<void()> answer = [&] {
            auto* dialog =
                qobject_cast<zebrik::app::PinEntryDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                QTimer::singleShot(10, answer);
                return;
            }
            ++dialogsSeen;
            QCOMPARE(dialog->parentWidget(), &window);
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
            // Text selected meanwhile must not be replaced by what the run writes next.
            QTextCursor selection = window.Pane().textCursor();
            selection.setPosition(0);
            selection.setPosition(3, QTextCursor::KeepAnchor);
            window.Pane().setTextCursor(selection);
            QTest::keyClicks(&dialog->PinField(), QStringLiteral("1234"));
            QTest::mouseClick(&dialog->OkButton(), Qt::LeftButton);
        };
        QTimer::singleShot(0, answer);

        window.Refresh();

        QCOMPARE(dialogsSeen, 1);
        QCOMPARE(window.Pane().toPlainText(), expected);
        QVERIFY(!window.Pane().textCursor().hasSelection());
    }

    void repaintsThePaneWhileALongReportGrows() {
        ReaderPacedManager manager(OneReaderWith("sim-phonebook-1000"));
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        PaintCounter paints(window);
        window.Pane().viewport()->installEventFilter(&paints);
        QElapsedTimer clock;
        clock.start();

        window.Refresh();

        qInfo("1000 phone-book entries: %d lines in %lld ms, %d paints during the run",
              window.Pane().blockCount(), static_cast<long long>(clock.elapsed()),
              paints.duringRun);
        QVERIFY(window.Pane().blockCount() > 1000);
        QVERIFY(paints.duringRun > 1);
    }

    void showsTheWholeReportWithItsEndInViewAfterARunOnScreen() {
        zebrik::testing::ScriptedPinPrompt noAnswers;
        const QString expected = ExpectedReport(OneReaderWith("sim-phonebook-1000"), noAnswers);
        zebrik::sim::SimResourceManager manager(OneReaderWith("sim-phonebook-1000"));
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        ReportView& pane = window.Pane();

        for (int run = 0; run < 2; ++run) {
            window.Refresh();
            QCOMPARE(pane.toPlainText(), expected);
            QVERIFY(pane.verticalScrollBar()->maximum() > 0);
            QVERIFY(pane.textCursor().atEnd());
            QVERIFY(pane.viewport()->rect().contains(pane.cursorRect()));
        }
    }

    void keepsTheViewOnASelectionWhileTextIsAdded() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        ReportView& pane = window.Pane();
        pane.Clear();
        pane.Append("Erste Zeile\r\n");
        QCoreApplication::processEvents();
        QTextCursor selection = pane.textCursor();
        selection.setPosition(0);
        selection.setPosition(5, QTextCursor::KeepAnchor);
        pane.setTextCursor(selection);

        for (int i = 0; i < 300; ++i) {
            pane.Append("Weitere Zeile\r\n");
        }
        QCoreApplication::processEvents();
        QCOMPARE(pane.blockCount(), 302);
        QCOMPARE(pane.verticalScrollBar()->value(), 0);
        QCOMPARE(pane.textCursor().selectedText(), QStringLiteral("Erste"));
    }

    void copiesEverythingAndSelectsItWhenNothingIsSelected() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        window.Pane().Clear();
        window.Pane().Append("Zeile 1\r\nZeile 2\r\n\r\nZeile 4 mit\xC2\xA0Leerzeichen\r\n");
        QApplication::clipboard()->clear();

        QTest::mouseClick(&window.CopyButton(), Qt::LeftButton);

        const QString all = QStringLiteral("Zeile 1\nZeile 2\n\nZeile 4 mit\u00A0Leerzeichen\n");
        QCOMPARE(QApplication::clipboard()->text(), all);
        QCOMPARE(window.Pane().textCursor().selectionStart(), 0);
        QCOMPARE(window.Pane().textCursor().selectionEnd(), all.size());
    }

    void copiesOnlyTheSelectionAndLeavesIt() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        window.Pane().Clear();
        window.Pane().Append("Erste Zeile\r\nZweite Zeile\r\nDritte Zeile\r\n");
        QTextCursor selection = window.Pane().textCursor();
        selection.setPosition(6);
        selection.setPosition(18, QTextCursor::KeepAnchor);
        window.Pane().setTextCursor(selection);

        QTest::mouseClick(&window.CopyButton(), Qt::LeftButton);

        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Zeile\nZweite"));
        QCOMPARE(window.Pane().textCursor().anchor(), 6);
        QCOMPARE(window.Pane().textCursor().position(), 18);
    }

    void selectAllSelectsTheWholeReport() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        QTest::mouseClick(&window.SelectAllButton(), Qt::LeftButton);
        QCOMPARE(window.Pane().textCursor().selectedText().size(),
                 window.Pane().toPlainText().size());
    }

    void appendsAtTheEndWhereverTheUserPutTheCaret() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        ReportView& pane = window.Pane();
        pane.Clear();
        pane.Append("abc\r\n");
        QTextCursor caret = pane.textCursor();
        caret.setPosition(1);
        caret.setPosition(2, QTextCursor::KeepAnchor);
        pane.setTextCursor(caret);

        pane.Append("def\r\n");
        QCOMPARE(pane.toPlainText(), QStringLiteral("abc\ndef\n"));
        QCOMPARE(pane.textCursor().selectedText(), QStringLiteral("b"));

        pane.DropSelection();
        QVERIFY(!pane.textCursor().hasSelection());
        pane.Append("ghi\r\n");
        QCOMPARE(pane.toPlainText(), QStringLiteral("abc\ndef\nghi\n"));
    }

    void takesAReportLongerThan32767CharactersWhole() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        std::string report;
        for (int i = 0; i < 1000; ++i) {
            report += "Eintrag " + std::to_string(i) + ": " + std::string(40, 'x') + "\r\n";
        }
        QVERIFY(report.size() > 32767);
        window.Pane().Clear();
        for (std::size_t at = 0; at < report.size(); at += 100) {
            window.Pane().Append(std::string_view(report).substr(at, 100));
        }
        QCOMPARE(window.Pane().toPlainText(), PaneText(report));
    }

    void opensTheAboutBoxOnlyOnce() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        std::size_t boxesSeen = 0;
        QString text;
        QTimer::singleShot(0, [&] {
            // Closes every box there is, so that a second one cannot hang the test.
            QTimer::singleShot(0, [&] {
                const std::vector<QMessageBox*> boxes = VisibleMessageBoxes();
                boxesSeen = boxes.size();
                for (QMessageBox* box : boxes) {
                    text = box->text();
                    box->accept();
                }
            });
            window.ShowAbout();
        });

        QTest::keyClick(window.windowHandle(), Qt::Key_F1);

        QCOMPARE(boxesSeen, std::size_t{1});
        QCOMPARE(text,
                 QStringLiteral("Zebrik SmartCard - Version " ZEBRIK_VERSION "\n"
                                "Zebrik SmartCard-Projekt, freie Software unter der MIT-Lizenz"));
        QVERIFY(VisibleMessageBoxes().empty());
    }

    void endsWithTheCodeOfTheWayItWasClosed_data() {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Beenden") << 0 << 1;
        QTest::newRow("Escape") << 1 << 2;
        QTest::newRow("close box") << 2 << 0;
        QTest::newRow("Alt+B") << 3 << 1;
    }
    void endsWithTheCodeOfTheWayItWasClosed() {
        QFETCH(int, way);
        QFETCH(int, exitCode);
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        ShowAndActivate(window);
        QSignalSpy finished(&window, &QDialog::finished);

        switch (way) {
            case 0:
                QTest::mouseClick(&window.ExitButton(), Qt::LeftButton);
                break;
            case 1:
                QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
                break;
            case 2:
                QVERIFY(window.close());
                break;
            case 3:
                QTest::keyClick(window.windowHandle(), Qt::Key_B, Qt::AltModifier);
                break;
        }

        QTRY_COMPARE(finished.count(), 1);  // a mnemonic clicks its button after 100 ms
        QCOMPARE(finished.at(0).at(0).toInt(), exitCode);
        QCOMPARE(window.result(), exitCode);
        QVERIFY(!window.isVisible());
    }

    void paintsThePaneInTheDesktopsWindowTextAndBaseColours() {
        zebrik::sim::SimResourceManager manager;
        MainWindow window(manager, zebrik::app::ReportFont());
        const QPalette pane = window.Pane().palette();
        const QPalette desktop = QApplication::palette();
        QCOMPARE(pane.color(QPalette::Active, QPalette::Text),
                 desktop.color(QPalette::Active, QPalette::WindowText));
        QCOMPARE(pane.color(QPalette::Active, QPalette::Base),
                 desktop.color(QPalette::Active, QPalette::Base));
        QCOMPARE(pane.color(QPalette::Inactive, QPalette::Highlight),
                 pane.color(QPalette::Active, QPalette::Highlight));
        QVERIFY(window.Pane().isReadOnly());
        QCOMPARE(window.Pane().lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(QFontInfo(window.Pane().font()).fixedPitch());
        QCOMPARE(QFontInfo(window.Pane().font()).pixelSize(), 13);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
