// zebrik-smartcard: the desktop program. Reads the cards in every PC/SC reader into one
// German report; with --demo, the built-in simulated readers and cards instead.
#include <QApplication>
#include <QIcon>
#include <memory>

#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "pcsc/pcsc_resource_manager.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"

namespace {

// The readers the window analyses: the system's, or with --demo the simulated ones, so
// that the window can be tried, and driven by tests, without a reader or pcscd.
std::unique_ptr<zebrik::ResourceManager> ChosenResourceManager() {
    if (QApplication::arguments().contains(QStringLiteral("--demo"))) {
        return std::make_unique<zebrik::sim::SimResourceManager>(zebrik::sim::DemoReaders());
    }
    return std::make_unique<zebrik::PcscResourceManager>();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zebrik-smartcard"));
    QApplication::setDesktopFileName(QStringLiteral("de.zebrik.smartcard"));

    zebrik::app::SingleInstance instance(zebrik::app::SingleInstance::DefaultServerName());
    if (instance.Claim() == zebrik::app::SingleInstance::Start::Notified) {
        return zebrik::app::kExitCloseBox;
    }

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zebrik-smartcard.svg")));
    const QFont reportFont = zebrik::app::ReportFont();
    const std::unique_ptr<zebrik::ResourceManager> manager = ChosenResourceManager();
    zebrik::app::MainWindow window(*manager, reportFont);
    QObject::connect(&instance, &zebrik::app::SingleInstance::showRequested, &window,
                     &zebrik::app::MainWindow::BringToFront);
    return window.exec();
}
