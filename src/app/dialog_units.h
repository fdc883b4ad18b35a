#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <Qt>

class QPushButton;
class QString;
class QWidget;

namespace zebrik::app {

// Converts the layout's dialog units into pixels of a given dialog font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its
// height, so the windows keep their proportions whatever font the desktop substitutes.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

private:
    int baseX_ = 1;
    int baseY_ = 1;
};

// The dialog font of every window: Arial at 9 points, else the desktop's sans-serif face.
QFont DialogFont();

// The frame of every window: title, system menu and close box, a fixed size; the main
// window alone can also be minimised.
Qt::WindowFlags FixedWindowFlags(bool minimisable);

// A push button at its place in the layout; it becomes the default button while it has
// the focus, so Enter presses the button the user has tabbed to.
QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry);

// The report's fixed-pitch face, "Courier New" at 13 pixels; where the desktop has no
// fixed-pitch match for it, its own fixed-pitch font at the same size.
QFont ReportFont();

}  // namespace zebrik::app
