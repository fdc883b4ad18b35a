#include "win32/main_dialog.h"

#include <array>
#include <string>

#include "app/banner_text.h"
#include "core/analysis/analysis_run.h"
#include "win32/edit_report.h"
#include "win32/pin_dialogs.h"
#include "win32/resource_ids.h"
#include "win32/wide_text.h"

namespace zebrik::win32 {

namespace {

constexpr std::array<int, 4> kButtons = {kRefreshId, kSelectAllId, kCopyId, IDOK};

// What the dialog procedure works on, handed over as the dialog's creation parameter.
struct MainDialog {
    ResourceManager& manager;
    HFONT reportFont;
    bool running = false;
    bool aboutOpen = false;
};

HWND Pane(HWND window) {
    return GetDlgItem(window, kReportPaneId);
}

void SetIcons(HWND window) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (HANDLE small =
            LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)) {
        PostMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
    PostMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(instance, MAKEINTRESOURCEW(kIconId))));
}

void Initialise(HWND window, const MainDialog& dialog) {
    SetWindowTextW(window, WideFromUtf8(app::kWindowTitle).c_str());
    SetIcons(window);
    const HWND pane = Pane(window);
    if (dialog.reportFont != nullptr) {
        SendMessageW(pane, WM_SETFONT, reinterpret_cast<WPARAM>(dialog.reportFont), FALSE);
    }
    SendMessageW(pane, EM_LIMITTEXT, 0, 0);
    EditReport(pane).Append(app::kBanner);
    SendMessageW(pane, EM_SETREADONLY, TRUE, 0);
}

void EnableButtons(HWND window, bool enable) {
    for (const int id : kButtons) {
        EnableWindow(GetDlgItem(window, id), enable);
    }
}

// Keys and clicks that came while the run held the window are dropped: an Escape pressed
// in impatience must not close the program, and its report, once the run is over.
void DropQueuedInput() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
           PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

// One analysis run on this thread: the window handles no messages of its own meanwhile,
// only a PIN dialog can come up over it.
void Refresh(HWND window, MainDialog& dialog) {
    dialog.running = true;
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    EnableButtons(window, false);
    UpdateWindow(window);  // the run handles no paint messages: show the buttons disabled now
    {
        EditReport report(Pane(window));
        DialogPinPrompt prompt(window);
        ReportAndPrompt pane{report, prompt};
        RunAnalysis(pane, dialog.manager);
    }
    DropQueuedInput();
    EnableButtons(window, true);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, kRefreshId)),
                 TRUE);
    SetCursor(previous);
    dialog.running = false;
}

void Copy(HWND window) {
    const HWND pane = Pane(window);
    // The pointers, not the result's two words: those end at 65535 characters, and a
    // long report's selection would read as none.
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start == end) {
        SendMessageW(pane, EM_SETSEL, 0, -1);
    }
    SendMessageW(pane, WM_COPY, 0, 0);
}

void ShowAbout(HWND window, MainDialog& dialog) {
    if (dialog.aboutOpen) {
        return;
    }
    dialog.aboutOpen = true;
    std::string_view banner = app::kBanner;
    while (banner.ends_with("\r\n")) {
        banner.remove_suffix(2);
    }
    MessageBoxW(window, WideFromUtf8(banner).c_str(), WideFromUtf8(app::kWindowTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
    dialog.aboutOpen = false;
}

// The pane is read-only, yet shows the colours of an editable field.
INT_PTR PaneColours(HWND window, HDC context) {
    SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(context, GetSysColor(COLOR_WINDOW));
    const auto brush = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    SetWindowLongPtrW(window, DWLP_MSGRESULT, brush);
    return brush;
}

void Command(HWND window, MainDialog& dialog, int id) {
    // A message that reaches the window while a PIN dialog is open must not start a
    // second run or close the window under the first.
    if (dialog.running) {
        return;
    }
    switch (id) {
        case IDOK:
            EndDialog(window, kExitButton);
            break;
        case IDCANCEL:
            EndDialog(window, kExitEscape);
            break;
        case kRefreshId:
            Refresh(window, dialog);
            break;
        case kSelectAllId:
            SendMessageW(Pane(window), EM_SETSEL, 0, -1);
            break;
        case kCopyId:
            Copy(window);
            break;
        default:
            break;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<MainDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        Initialise(window, *dialog);
        return TRUE;  // the focus goes to the first tab stop, "&Aktualisieren"
    }
    auto* dialog = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND:
            Command(window, *dialog, LOWORD(wParam));
            return FALSE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Pane(window)) {
                return PaneColours(window, reinterpret_cast<HDC>(wParam));
            }
            return FALSE;
        case WM_HELP:
            ShowAbout(window, *dialog);
            return TRUE;
        case WM_CLOSE:
            // Handled here: the default handling would turn it into Escape's command.
            if (!dialog->running) {
                EndDialog(window, kExitCloseBox);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassW(&windowClass) != 0;
}

INT_PTR RunMainDialog(HINSTANCE instance, ResourceManager& manager, HFONT reportFont) {
    MainDialog dialog{manager, reportFont};
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(kMainDialogId), nullptr, MainDialogProc,
                           reinterpret_cast<LPARAM>(&dialog));
}

}  // namespace zebrik::win32
