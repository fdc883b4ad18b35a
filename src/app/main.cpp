// zebrik-smartcard: the desktop program. Reads the cards in every PC/SC reader into one
// German report.
#include <QApplication>
#include <QIcon>

#include "app/dialog_units.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "pcsc/pcsc_resource_manager.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zebrik-smartcard"));
    QApplication::setDesktopFileName(QStringLiteral("zebrik-smartcard"));

    zebrik::app::SingleInstance instance(zebrik::app::SingleInstance::DefaultServerName());
    if (instance.Claim() == zebrik::app::SingleInstance::Start::Notified) {
        return zebrik::app::kExitCloseBox;
    }

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zebrik-smartcard.svg")));
    const QFont reportFont = zebrik::app::ReportFont();
    zebrik::PcscResourceManager manager;
    zebrik::app::MainWindow window(manager, reportFont);
    QObject::connect(&instance, &zebrik::app::SingleInstance::showRequested, &window,
                     &zebrik::app::MainWindow::BringToFront);
    return window.exec();
}
