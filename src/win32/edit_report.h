#pragma once

#include <windows.h>

#include <string_view>

#include "core/ports/report.h"

namespace zebrik::win32 {

// The report pane, the main window's multi-line edit control, as the analysis' Report:
// every text replaces the selection, which during a run is the caret at the end.
class EditReport final : public Report {
public:
    explicit EditReport(HWND pane) : pane_(pane) {}

    void Clear() override;
    void Append(std::string_view utf8Text) override;
    void DropSelection() override;

private:
    // Paints the pane now and then: a run handles no messages, so without it the window
    // would show nothing of the run until its end.
    void PaintNowAndThen();

    HWND pane_;
    ULONGLONG lastPaint_ = 0;
};

}  // namespace zebrik::win32
