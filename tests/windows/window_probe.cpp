// A Windows side for the window test: shows one PIN dialog and prints its result and what
// it stored ("1 31323334"; "-" for an empty string); prints the title of the foreground
// window; or runs the main window over one reader with a card file's card.
//   window_probe.exe entry | unblock | foreground | window CARD_FILE
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/report/text.h"
#include "kit/card_file.h"
#include "sim/sim_resource_manager.h"
#include "win32/main_dialog.h"
#include "win32/pin_dialogs.h"

namespace {

std::string Hex(const char* text) {
    std::string hex;
    zebrik::AppendHexBytes(hex, {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)});
    return hex.empty() ? "-" : hex;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "entry") {
        zebrik::PinEntryBuffer buffer;
        const auto result = zebrik::win32::ShowPinEntryDialog(nullptr, &buffer);
        std::printf("%d %s\n", static_cast<int>(result), Hex(buffer.pin.data()).c_str());
    } else if (mode == "unblock") {
        zebrik::PinUnblockBuffer buffer;
        const auto result = zebrik::win32::ShowPinUnblockDialog(nullptr, &buffer);
        std::printf("%d %s %s\n", static_cast<int>(result), Hex(buffer.Puk()).c_str(),
                    Hex(buffer.NewPin()).c_str());
    } else if (mode == "foreground") {
        wchar_t title[64] = {};
        GetWindowTextW(GetForegroundWindow(), title, 64);
        std::printf("%ls\n", title);
    } else if (mode == "window" && argc > 2) {
        zebrik::sim::SimReader reader;
        reader.name = "Zebrik Testleser";
        reader.card = std::make_shared<zebrik::sim::SimCard>(zebrik::sim::LoadCardFile(argv[2]));
        zebrik::sim::SimResourceManager manager({reader});
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        zebrik::win32::RegisterMainWindowClass(instance);
        return static_cast<int>(zebrik::win32::RunMainDialog(instance, manager, nullptr));
    } else {
        return 2;
    }
    return 0;
}
