#pragma once

#include <QString>

#include "app/banner_text.h"

namespace zebrik::app {

// The banner as a message box shows it: line breaks without CR, no empty last line.
inline QString BannerForMessageBox() {
    QString text = QString::fromUtf8(kBanner.data(), static_cast<qsizetype>(kBanner.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    return text;
}

}  // namespace zebrik::app
