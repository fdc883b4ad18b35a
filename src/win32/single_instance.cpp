#include "win32/single_instance.h"

#include "win32/main_dialog.h"

namespace zebrik::win32 {

namespace {

HWND FindRunningWindow() {
    if (HWND window = FindWindowW(kWindowClassName, kWindowTitleSearched)) {
        return window;
    }
    return FindWindowW(nullptr, kWindowTitleSearched);
}

}  // namespace

SingleInstance::SingleInstance() {
    mutex_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    if (mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
        return;
    }
    const HWND running = FindRunningWindow();
    if (running == nullptr) {
        return;
    }
    // A minimised window counts as visible: it is only brought to the foreground.
    if (!IsWindowVisible(running)) {
        ShowWindow(running, SW_SHOW);
    }
    SetForegroundWindow(running);
    broughtOtherToFront_ = true;
}

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

}  // namespace zebrik::win32
