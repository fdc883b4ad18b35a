#pragma once

#include <QDialog>

#include "core/ports/pin_prompt.h"

class QLineEdit;
class QPushButton;

namespace zebrik::app {

// What the PIN dialogs return: "OK", or cancelled by "Abbrechen", Escape or the close box.
inline constexpr int kPinDialogOk = 1;
inline constexpr int kPinDialogCancelled = 2;

// "PIN prüfen": one masked field of at most 8 characters. "OK" is enabled while the field
// is not empty and stores the PIN in the buffer (a null buffer is left alone).
class PinEntryDialog final : public QDialog {
    Q_OBJECT

public:
    PinEntryDialog(PinEntryBuffer* buffer, QWidget* parent);

    QLineEdit& PinField() const { return *pin_; }
    QPushButton& OkButton() const { return *ok_; }

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateOk();

    PinEntryBuffer* buffer_;
    QLineEdit* pin_;
    QPushButton* ok_;
};

// "PIN entsperren": the PUK (readable), the new PIN and its repetition (both masked), each
// at most 8 characters. "OK" is enabled while PUK and new PIN are not empty and the
// repetition equals the new PIN exactly; it stores PUK and new PIN in the buffer.
class PinUnblockDialog final : public QDialog {
    Q_OBJECT

public:
    PinUnblockDialog(PinUnblockBuffer* buffer, QWidget* parent);

    QLineEdit& PukField() const { return *puk_; }
    QLineEdit& NewPinField() const { return *newPin_; }
    QLineEdit& RepeatField() const { return *repeat_; }
    QPushButton& OkButton() const { return *ok_; }

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateOk();

    PinUnblockBuffer* buffer_;
    QLineEdit* puk_;
    QLineEdit* newPin_;
    QLineEdit* repeat_;
    QPushButton* ok_;
};

// Open the dialogs modally over the parent with the arrow cursor, putting back the cursor
// they found when they close. Return kPinDialogOk or kPinDialogCancelled.
int ShowPinEntryDialog(QWidget* parent, PinEntryBuffer* buffer);
int ShowPinUnblockDialog(QWidget* parent, PinUnblockBuffer* buffer);

// The card holder asked through the dialogs, modal over the main window.
class DialogPinPrompt final : public PinPrompt {
public:
    explicit DialogPinPrompt(QWidget& parent) : parent_(parent) {}

    bool AskPin(PinEntryBuffer& buffer) override;
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override;

private:
    QWidget& parent_;
};

}  // namespace zebrik::app
