#include "app/dialog_units.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPushButton>
#include <QString>

namespace zebrik::app {

namespace {

// Rounds units * base / divisor to the nearest pixel.
int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over the Latin letters, rounded, as the classic dialog manager takes it.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = metrics.horizontalAdvance(letters);
    baseX_ = qMax(1, (width / 26 + 1) / 2);
    baseY_ = qMax(1, metrics.height());
}

int DialogUnits::X(int units) const {
    return Scale(units, baseX_, 4);
}
int DialogUnits::Y(int units) const {
    return Scale(units, baseY_, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}

QSize DialogUnits::Size(int width, int height) const {
    return {X(width), Y(height)};
}

QFont DialogFont() {
    QFont font;
    font.setFamily(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

QFont ReportFont() {
    QFont font;
    font.setFamily(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setWeight(QFont::Normal);
    font.setPixelSize(13);
    if (QFontInfo(font).fixedPitch()) {
        return font;
    }
    QFont fallback = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fallback.setPixelSize(13);
    return fallback;
}

Qt::WindowFlags FixedWindowFlags(bool minimisable) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::MSWindowsFixedSizeDialogHint;
    if (minimisable) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    return flags;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    button->setAutoDefault(true);
    return button;
}

}  // namespace zebrik::app
