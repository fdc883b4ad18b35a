#pragma once

// The ids of the resource script resources.rc, which has to spell them as numbers (a
// resource compiler reads no constexpr); keep the two in step.
namespace zebrik::win32 {

inline constexpr int kIconId = 101;
inline constexpr int kMainDialogId = 102;
inline constexpr int kPinEntryDialogId = 103;
inline constexpr int kPinUnblockDialogId = 104;

// Main dialog: the report pane and the buttons besides "&Beenden" (IDOK).
inline constexpr int kReportPaneId = 1000;
inline constexpr int kRefreshId = 1001;
inline constexpr int kSelectAllId = 1002;
inline constexpr int kCopyId = 1003;

// PIN dialogs: the PIN (or the PUK), the new PIN and its repetition.
inline constexpr int kPinFieldId = 1006;
inline constexpr int kNewPinFieldId = 1007;
inline constexpr int kRepeatFieldId = 1001;

}  // namespace zebrik::win32
