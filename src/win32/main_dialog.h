#pragma once

#include <windows.h>

#include "core/ports/resource_manager.h"

namespace zebrik::win32 {

// How the main window ends, which is also the program's exit code.
inline constexpr INT_PTR kExitCloseBox = 0;
inline constexpr INT_PTR kExitButton = 1;
inline constexpr INT_PTR kExitEscape = 2;

// The class the main dialog's template names, which a second start also looks for.
inline constexpr wchar_t kWindowClassName[] = L"DovezeZedidOvodUzeRavav";

// Registers that class: the system's dialog procedure with the dialog's extra bytes, so that
// the template creates the window with it. False when it cannot be registered.
bool RegisterMainWindowClass(HINSTANCE instance);

// The program's one window (template 102): the report pane on the left, "&Aktualisieren",
// "Alles &markieren", "&Kopieren" and "&Beenden" on the right; F1 shows the about box.
// Runs modally until it is closed and returns how (or -1 when it could not be shown). The
// report font may be null: the pane then keeps the dialog font.
INT_PTR RunMainDialog(HINSTANCE instance, ResourceManager& manager, HFONT reportFont);

}  // namespace zebrik::win32
