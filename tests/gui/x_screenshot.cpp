// Saves a picture of one X window (or of the whole screen, for window id 0) as PNG, so the
// end-to-end test needs no image tools of its own.   zebrik_x_screenshot WINDOW-ID OUTPUT.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    const auto window = static_cast<WId>(args.value(1).toULongLong(nullptr, 0));
    return args.size() == 3 &&
                   QGuiApplication::primaryScreen()->grabWindow(window).save(args[2], "PNG")
               ? 0
               : 1;
}
