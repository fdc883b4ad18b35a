// Saves a picture of one X window (or of the whole screen, for window id 0) as PNG, so the
// end-to-end test needs no image tools of its own.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: zebrik_x_screenshot WINDOW-ID OUTPUT.png\n");
        return 2;
    }
    const auto window = static_cast<WId>(std::strtoull(argv[1], nullptr, 0));
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zebrik_x_screenshot: no picture of window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
