// zebrik-smartcard.exe: the desktop program for Windows. Reads the cards in every PC/SC
// reader into one German report; with --demo, the built-in simulated readers and cards.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cwchar>
#include <memory>

#include "pcsc/pcsc_resource_manager.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"
#include "win32/main_dialog.h"
#include "win32/single_instance.h"

namespace {

using namespace zebrik::win32;

// The one option: the window can be tried, and driven by tests, without a reader.
bool DemoAsked() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool demo = false;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        demo = demo || std::wcscmp(arguments[i], L"--demo") == 0;
    }
    LocalFree(arguments);
    return demo;
}

// Courier New, 13 logical units high, fixed pitch; null when it cannot be made.
HFONT CreateReportFont() {
    LOGFONTW font{};
    font.lfHeight = -13;
    font.lfWeight = FW_NORMAL;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::wcscpy(font.lfFaceName, L"Courier New");
    return CreateFontIndirectW(&font);
}

std::unique_ptr<zebrik::ResourceManager> ChosenResourceManager() {
    if (DemoAsked()) {
        return std::make_unique<zebrik::sim::SimResourceManager>(zebrik::sim::DemoReaders());
    }
    return std::make_unique<zebrik::PcscResourceManager>();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const SingleInstance single;
    if (single.BroughtOtherToFront() || !RegisterMainWindowClass(instance)) {
        return static_cast<int>(kExitCloseBox);
    }
    const HFONT reportFont = CreateReportFont();
    const std::unique_ptr<zebrik::ResourceManager> manager = ChosenResourceManager();
    const INT_PTR result = RunMainDialog(instance, *manager, reportFont);
    if (reportFont != nullptr) {
        DeleteObject(reportFont);
    }
    return static_cast<int>(result);
}
