#pragma once

#include <QString>
#include <string_view>

namespace zebrik::app {

inline constexpr char kWindowTitle[] = "Zebrik SmartCard";

// The pane's first content and the about box's text: the version, then the maker's notice.
// The version is the project's own, which CMake hands to the window as to the command line.
inline constexpr std::string_view kBanner =
    "Zebrik SmartCard - Version " ZEBRIK_VERSION
    "\r\n"
    "Zebrik SmartCard-Projekt, freie Software unter der MIT-Lizenz\r\n";

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
