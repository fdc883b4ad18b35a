#include "win32/pin_dialogs.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "win32/resource_ids.h"
#include "win32/wide_text.h"

namespace zebrik::win32 {

namespace {

// What a dialog keeps while it is open: where OK stores the fields, the fields OK needs,
// and the cursor it replaced (the run's hourglass).
struct PinDialog {
    // Field id and the caller's 9 bytes it goes to (null: shown, not stored).
    std::vector<std::pair<int, char*>> targets;
    // For the unblock dialog: the new PIN's repetition must equal it.
    bool repeated = false;
    HCURSOR previousCursor = nullptr;
};

// A field's text, at most 8 characters, NUL-terminated; the caller wipes it.
using FieldText = std::array<wchar_t, kMaxPinLength + 1>;

FieldText ReadField(HWND dialog, int id) {
    FieldText text{};
    GetDlgItemTextW(dialog, id, text.data(), static_cast<int>(text.size()));
    return text;
}

// The text as the card's bytes, or nothing when it is empty or has a character that
// Windows-1252 lacks: the card would get a substitute, and a wrong PIN costs an attempt.
std::optional<std::array<char, kMaxPinLength + 1>> CardBytes(const FieldText& text) {
    std::array<char, kMaxPinLength + 1> bytes{};
    std::size_t length = 0;
    for (; length < kMaxPinLength && text[length] != L'\0'; ++length) {
        const std::optional<char> byte = Windows1252Byte(text[length]);
        if (!byte) {
            SecureWipe(bytes.data(), bytes.size());
            return std::nullopt;
        }
        bytes[length] = *byte;
    }
    if (length == 0) {
        return std::nullopt;
    }
    return bytes;
}

bool FieldAcceptable(HWND dialog, int id) {
    FieldText text = ReadField(dialog, id);
    std::optional<std::array<char, kMaxPinLength + 1>> bytes = CardBytes(text);
    const bool acceptable = bytes.has_value();
    SecureWipe(text.data(), sizeof text);
    if (bytes) {
        SecureWipe(bytes->data(), bytes->size());
    }
    return acceptable;
}

bool FieldsEqual(HWND dialog, int first, int second) {
    FieldText a = ReadField(dialog, first);
    FieldText b = ReadField(dialog, second);
    const bool equal = a == b;  // character for character, so case and length count
    SecureWipe(a.data(), sizeof a);
    SecureWipe(b.data(), sizeof b);
    return equal;
}

void UpdateOk(HWND dialog, const PinDialog& state) {
    bool ok = true;
    for (const auto& [id, target] : state.targets) {
        ok = ok && FieldAcceptable(dialog, id);
    }
    if (state.repeated) {
        ok = ok && FieldsEqual(dialog, kNewPinFieldId, kRepeatFieldId);
    }
    EnableWindow(GetDlgItem(dialog, IDOK), ok);
}

void SetField(HWND dialog, int id, const char* bytes) {
    FieldText text{};
    for (std::size_t i = 0; i < kMaxPinLength && bytes[i] != '\0'; ++i) {
        text[i] = Windows1252Char(static_cast<std::uint8_t>(bytes[i]));
    }
    SetDlgItemTextW(dialog, id, text.data());
    SecureWipe(text.data(), sizeof text);
}

// Stores the fields (OK is enabled only while they are acceptable) and empties every
// field, so that no copy of a PIN stays behind in the dialog.
void TakeFields(HWND dialog, const PinDialog& state) {
    for (const auto& [id, target] : state.targets) {
        FieldText text = ReadField(dialog, id);
        if (auto bytes = CardBytes(text); bytes && target != nullptr) {
            std::copy(bytes->begin(), bytes->end(), target);
            SecureWipe(bytes->data(), bytes->size());
        }
        SecureWipe(text.data(), sizeof text);
    }
}

void End(HWND dialog, const PinDialog& state, INT_PTR result) {
    for (const int id : {kPinFieldId, kNewPinFieldId, kRepeatFieldId}) {
        if (HWND field = GetDlgItem(dialog, id)) {
            SetWindowTextW(field, L"");
        }
    }
    SetCursor(state.previousCursor);
    EndDialog(dialog, result);
}

// The fields limited to 8 characters and filled from the buffer (the repetition with the
// new PIN), OK as the fields allow, the arrow cursor.
void Open(HWND dialog, PinDialog& state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    std::vector<std::pair<int, char*>> fields = state.targets;
    if (state.repeated) {
        fields.emplace_back(kRepeatFieldId, state.targets.back().second);
    }
    for (const auto& [id, source] : fields) {
        SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kMaxPinLength, 0);
        SetField(dialog, id, source != nullptr ? source : "");
    }
    UpdateOk(dialog, state);
    state.previousCursor = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        Open(dialog, *reinterpret_cast<PinDialog*>(lParam));
        return TRUE;  // the focus goes to the first field
    }
    auto* state = reinterpret_cast<PinDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    // Enter may send the default button's id although the button is disabled.
                    if (IsWindowEnabled(GetDlgItem(dialog, IDOK))) {
                        TakeFields(dialog, *state);
                        End(dialog, *state, kPinDialogOk);
                    }
                    return TRUE;
                case IDCANCEL:
                    End(dialog, *state, kPinDialogCancelled);
                    return TRUE;
                default:
                    if (HIWORD(wParam) == EN_CHANGE) {
                        UpdateOk(dialog, *state);
                    }
                    return TRUE;
            }
        case WM_CLOSE:
            End(dialog, *state, kPinDialogCancelled);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR Show(HWND parent, int templateId, PinDialog& state) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                           PinDialogProc, reinterpret_cast<LPARAM>(&state));
}

}  // namespace

INT_PTR ShowPinEntryDialog(HWND parent, PinEntryBuffer* buffer) {
    PinDialog state;
    state.targets = {{kPinFieldId, buffer != nullptr ? buffer->pin.data() : nullptr}};
    return Show(parent, kPinEntryDialogId, state);
}

INT_PTR ShowPinUnblockDialog(HWND parent, PinUnblockBuffer* buffer) {
    PinDialog state;
    state.targets = {{kPinFieldId, buffer != nullptr ? buffer->Puk() : nullptr},
                     {kNewPinFieldId, buffer != nullptr ? buffer->NewPin() : nullptr}};
    state.repeated = true;
    return Show(parent, kPinUnblockDialogId, state);
}

bool DialogPinPrompt::AskPin(PinEntryBuffer& buffer) {
    return ShowPinEntryDialog(parent_, &buffer) == kPinDialogOk;
}

bool DialogPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    return ShowPinUnblockDialog(parent_, &buffer) == kPinDialogOk;
}

}  // namespace zebrik::win32
