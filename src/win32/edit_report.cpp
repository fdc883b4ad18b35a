#include "win32/edit_report.h"

#include <string>

#include "win32/wide_text.h"

namespace zebrik::win32 {

namespace {

// Painting after every line would slow a phone book of a few hundred records down.
constexpr ULONGLONG kPaintIntervalMs = 40;

}  // namespace

void EditReport::Clear() {
    SetWindowTextW(pane_, L"");
    PaintNowAndThen();
}

void EditReport::Append(std::string_view utf8Text) {
    const std::wstring text = WideFromUtf8(utf8Text);
    SendMessageW(pane_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    PaintNowAndThen();
}

void EditReport::DropSelection() {
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(pane_));
    SendMessageW(pane_, EM_SETSEL, end, static_cast<LPARAM>(end));
}

void EditReport::PaintNowAndThen() {
    const ULONGLONG now = GetTickCount64();
    if (now - lastPaint_ >= kPaintIntervalMs) {
        UpdateWindow(pane_);
        lastPaint_ = now;
    }
}

}  // namespace zebrik::win32
