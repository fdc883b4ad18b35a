#pragma once

#include <QDialog>
#include <array>

#include "app/pin_dialogs.h"
#include "core/ports/resource_manager.h"

class QPushButton;
class QFont;

namespace zebrik::app {

class ReportView;

// How the main window ends, which is also the program's exit code.
inline constexpr int kExitCloseBox = 0;
inline constexpr int kExitButton = 1;
inline constexpr int kExitEscape = 2;

// The program's one window: the report pane on the left, the buttons "&Aktualisieren",
// "Alles &markieren", "&Kopieren" and "&Beenden" on the right. It analyses the readers of
// the resource manager it is given, so the tests can hand it a simulated one.
class MainWindow final : public QDialog {
    Q_OBJECT

public:
    MainWindow(ResourceManager& manager, const QFont& reportFont, QWidget* parent = nullptr);

    ReportView& Pane() const { return *pane_; }
    QPushButton& RefreshButton() const { return *refresh_; }
    QPushButton& SelectAllButton() const { return *selectAll_; }
    QPushButton& CopyButton() const { return *copy_; }
    QPushButton& ExitButton() const { return *exit_; }
    bool RunUnderWay() const { return running_; }

    // One analysis run on this thread, with the buttons disabled until it is over.
    void Refresh();
    void Copy();
    void ShowAbout();
    // Asked by a second start: show the window if it is hidden and bring it to the front.
    void BringToFront();

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::array<QPushButton*, 4> Buttons() const { return {refresh_, selectAll_, copy_, exit_}; }

    ResourceManager& manager_;
    DialogPinPrompt prompt_;
    ReportView* pane_;
    QPushButton* refresh_;
    QPushButton* selectAll_;
    QPushButton* copy_;
    QPushButton* exit_;
    bool running_ = false;
    bool aboutOpen_ = false;
};

}  // namespace zebrik::app
