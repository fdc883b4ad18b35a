#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

#include "app/banner.h"
#include "app/dialog_units.h"
#include "app/report_view.h"
#include "core/analysis/analysis_run.h"

namespace zebrik::app {

namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

// Drops keyboard and mouse input meant for the main window while a run is under way, also
// what was typed ahead and is delivered only at its end: an Escape pressed in impatience
// must not close the program once the run is over. The PIN dialogs are windows of their
// own and get their input.
class InputDiscarder final : public QObject {
public:
    explicit InputDiscarder(QWidget& window) : window_(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputDiscarder() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!IsInput(event->type()) || !watched->isWidgetType() ||
            static_cast<QWidget*>(watched)->window() != &window_) {
            return false;
        }
        // An accepted override keeps the key from reaching a shortcut (F1, the mnemonics).
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
        }
        return true;
    }

private:
    QWidget& window_;
};

}  // namespace

MainWindow::MainWindow(ResourceManager& manager, const QFont& reportFont, QWidget* parent)
    : QDialog(parent), manager_(manager), prompt_(*this) {
    setFont(DialogFont());
    const DialogUnits units(font());
    setWindowFlags(FixedWindowFlags(true));
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/zebrik-smartcard.svg")));
    setFixedSize(units.Size(423, 275));

    refresh_ = MakeButton(this, QStringLiteral("&Aktualisieren"), units.Rect(359, 4, 60, 14));
    selectAll_ = MakeButton(this, QStringLiteral("Alles &markieren"), units.Rect(359, 23, 60, 14));
    copy_ = MakeButton(this, QStringLiteral("&Kopieren"), units.Rect(359, 41, 60, 14));
    exit_ = MakeButton(this, QStringLiteral("&Beenden"), units.Rect(359, 257, 60, 14));
    pane_ = new ReportView(this);
    pane_->setGeometry(units.Rect(4, 4, 350, 267));
    pane_->setFont(reportFont);
    refresh_->setDefault(true);
    setTabOrder(refresh_, selectAll_);
    setTabOrder(selectAll_, copy_);
    setTabOrder(copy_, exit_);
    setTabOrder(exit_, pane_);

    connect(refresh_, &QPushButton::clicked, this, &MainWindow::Refresh);
    connect(selectAll_, &QPushButton::clicked, pane_, &ReportView::SelectEverything);
    connect(copy_, &QPushButton::clicked, this, &MainWindow::Copy);
    connect(exit_, &QPushButton::clicked, this, [this] { done(kExitButton); });
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &MainWindow::ShowAbout);

    pane_->Append(kBanner);
    refresh_->setFocus();
}

void MainWindow::Refresh() {
    if (running_) {
        return;
    }
    running_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    for (QPushButton* button : Buttons()) {
        button->setEnabled(false);
    }
    {
        const InputDiscarder discarder(*this);
        ReportAndPrompt pane{*pane_, prompt_};
        RunAnalysis(pane, manager_);
        // Input typed ahead during the run arrives now and is dropped.
        QCoreApplication::processEvents();
    }
    for (QPushButton* button : Buttons()) {
        button->setEnabled(true);
    }
    refresh_->setFocus(Qt::OtherFocusReason);
    QGuiApplication::restoreOverrideCursor();
    running_ = false;
}

void MainWindow::Copy() {
    pane_->CopyToClipboard();
}

void MainWindow::ShowAbout() {
    if (aboutOpen_) {
        return;
    }
    aboutOpen_ = true;
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kWindowTitle),
                    BannerForMessageBox(), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    aboutOpen_ = false;
}

void MainWindow::BringToFront() {
    if (!isVisible()) {
        show();
    }
    raise();
    activateWindow();
}

void MainWindow::reject() {
    if (!running_) {
        done(kExitEscape);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window cannot go while a run still writes into it.
    if (running_) {
        event->ignore();
        return;
    }
    event->accept();
    done(kExitCloseBox);
}

}  // namespace zebrik::app
