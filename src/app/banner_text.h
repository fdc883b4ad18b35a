#pragma once

#include <string_view>

// The window's title and banner, shared by the Qt window and the Win32 window; plain
// text, so that neither needs the other's toolkit for it.
namespace zebrik::app {

inline constexpr char kWindowTitle[] = "Zebrik SmartCard";

// The pane's first content and the about box's text: the version, then the maker's notice.
// The version is the project's own, which CMake hands to the window as to the command line.
inline constexpr std::string_view kBanner =
    "Zebrik SmartCard - Version " ZEBRIK_VERSION
    "\r\n"
    "Zebrik SmartCard-Projekt, freie Software unter der MIT-Lizenz\r\n";

}  // namespace zebrik::app
