#pragma once

#include <windows.h>

namespace zebrik::win32 {

// One program per session: the named mutex says that another start runs, its window (by
// class and title, else by title alone) is where that start is. Holds the mutex handle,
// when there is one, for the program's lifetime.
class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Another start's window was found and brought to the front (shown first when hidden):
    // this start ends. Not found: this start runs, although the other may hold the mutex
    // (it is still starting, or has no window).
    bool BroughtOtherToFront() const { return broughtOtherToFront_; }

private:
    HANDLE mutex_ = nullptr;
    bool broughtOtherToFront_ = false;
};

inline constexpr wchar_t kInstanceMutexName[] = L"DeduvaVazarEzar";
// The main window's title, also without its class (kWindowClassName).
inline constexpr wchar_t kWindowTitleSearched[] = L"Zebrik SmartCard";

}  // namespace zebrik::win32
