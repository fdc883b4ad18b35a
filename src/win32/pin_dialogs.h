#pragma once

#include <windows.h>

#include "core/ports/pin_prompt.h"

namespace zebrik::win32 {

// What the PIN dialogs return: "OK", or cancelled by "Abbrechen", Escape or the close box
// (-1 when the dialog could not be shown at all).
inline constexpr INT_PTR kPinDialogOk = IDOK;
inline constexpr INT_PTR kPinDialogCancelled = IDCANCEL;

// "PIN prüfen" (template 103) and "PIN entsperren" (template 104), modal over the parent,
// with the arrow cursor while open. "OK" is enabled while every field it needs holds a
// text of characters that Windows-1252 has (the card gets those bytes) and, for the new
// PIN, its repetition is the same; it stores the texts in the buffer (a null buffer is
// left alone). The fields start with what the buffer holds.
INT_PTR ShowPinEntryDialog(HWND parent, PinEntryBuffer* buffer);
INT_PTR ShowPinUnblockDialog(HWND parent, PinUnblockBuffer* buffer);

// The card holder asked through the dialogs, modal over the main window.
class DialogPinPrompt final : public PinPrompt {
public:
    explicit DialogPinPrompt(HWND parent) : parent_(parent) {}

    bool AskPin(PinEntryBuffer& buffer) override;
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override;

private:
    HWND parent_;
};

}  // namespace zebrik::win32
