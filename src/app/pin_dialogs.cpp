#include "app/pin_dialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <optional>

#include "app/dialog_units.h"
#include "core/report/text.h"

namespace zebrik::app {

namespace {

constexpr int kFieldLimit = static_cast<int>(kMaxPinLength);

// Refuses characters that have no byte in Windows-1252: the card would otherwise get a
// substitute instead of what the user typed, and a wrong PIN costs an attempt.
class Windows1252Validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (const char32_t codePoint : input.toUcs4()) {
            if (!CardCharByte(codePoint)) {
                return Invalid;
            }
        }
        return Acceptable;
    }
};

// Moves the field's text into a NUL-terminated string of at most 8 bytes and empties the
// field, so that no copy of a PIN stays behind in the dialog.
void TakeField(QLineEdit& field, char* target) {
    QString text = field.text();
    field.setText(QString());
    std::size_t length = 0;
    for (const char32_t codePoint : text.toUcs4()) {
        if (length == kMaxPinLength) {
            break;
        }
        if (const std::optional<std::uint8_t> byte = CardCharByte(codePoint)) {
            target[length++] = static_cast<char>(*byte);
        }
    }
    target[length] = '\0';
    text.fill(QChar(0));  // the only owner now, so this overwrites the typed text itself
}

QString FieldText(const char* string) {
    QString text;
    for (std::size_t i = 0; i < kMaxPinLength && string[i] != '\0'; ++i) {
        const char32_t codePoint = CardCharCodePoint(static_cast<std::uint8_t>(string[i]));
        text += QString::fromUcs4(&codePoint, 1);
    }
    return text;
}

QLineEdit* MakeField(QWidget* parent, const QRect& geometry, QLineEdit::EchoMode echo) {
    auto* field = new QLineEdit(parent);
    field->setGeometry(geometry);
    field->setMaxLength(kFieldLimit);
    field->setEchoMode(echo);
    field->setValidator(new Windows1252Validator(field));
    return field;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

void SetUpWindow(QDialog& dialog, const QString& title, const DialogUnits& units, int width,
                 int height) {
    dialog.setWindowFlags(FixedWindowFlags(false));
    dialog.setWindowTitle(title);
    dialog.setFixedSize(units.Size(width, height));
}

// The dialogs show the arrow while the run around them waits with the hourglass.
class ArrowCursorWhileOpen {
public:
    ArrowCursorWhileOpen() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowCursorWhileOpen() { QGuiApplication::restoreOverrideCursor(); }
    ArrowCursorWhileOpen(const ArrowCursorWhileOpen&) = delete;
    ArrowCursorWhileOpen& operator=(const ArrowCursorWhileOpen&) = delete;
};

}  // namespace

PinEntryDialog::PinEntryDialog(PinEntryBuffer* buffer, QWidget* parent)
    : QDialog(parent), buffer_(buffer) {
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpWindow(*this, QStringLiteral("PIN prüfen"), units, 110, 38);

    pin_ = MakeField(this, units.Rect(58, 4, 48, 12), QLineEdit::Password);
    ok_ = MakeButton(this, QStringLiteral("OK"), units.Rect(4, 20, 48, 14));
    auto* cancel = MakeButton(this, QStringLiteral("Abbrechen"), units.Rect(58, 20, 48, 14));
    MakeLabel(this, QStringLiteral("PIN-Code:"), units.Rect(4, 6, 48, 8), Qt::AlignHCenter);
    ok_->setDefault(true);
    setTabOrder(pin_, ok_);
    setTabOrder(ok_, cancel);

    if (buffer_ != nullptr) {
        pin_->setText(FieldText(buffer_->pin.data()));
    }
    ok_->setEnabled(false);
    connect(pin_, &QLineEdit::textChanged, this, &PinEntryDialog::UpdateOk);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &PinEntryDialog::reject);
    pin_->setFocus();
}

void PinEntryDialog::UpdateOk() {
    ok_->setEnabled(!pin_->text().isEmpty());
}

void PinEntryDialog::done(int result) {
    if (result == kPinDialogOk && buffer_ != nullptr) {
        TakeField(*pin_, buffer_->pin.data());
    }
    pin_->setText(QString());
    QDialog::done(result);
}

void PinEntryDialog::reject() {
    done(kPinDialogCancelled);
}

void PinEntryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

PinUnblockDialog::PinUnblockDialog(PinUnblockBuffer* buffer, QWidget* parent)
    : QDialog(parent), buffer_(buffer) {
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpWindow(*this, QStringLiteral("PIN entsperren"), units, 130, 68);

    MakeLabel(this, QStringLiteral("PUK:"), units.Rect(5, 4, 56, 8), Qt::AlignLeft);
    puk_ = MakeField(this, units.Rect(4, 14, 58, 12), QLineEdit::Normal);
    MakeLabel(this, QStringLiteral("Neue PIN:"), units.Rect(69, 4, 56, 8), Qt::AlignLeft);
    newPin_ = MakeField(this, units.Rect(68, 14, 58, 12), QLineEdit::Password);
    MakeLabel(this, QStringLiteral("PIN wiederholen:"), units.Rect(4, 34, 58, 8), Qt::AlignHCenter);
    repeat_ = MakeField(this, units.Rect(68, 32, 58, 12), QLineEdit::Password);
    ok_ = MakeButton(this, QStringLiteral("OK"), units.Rect(4, 50, 58, 14));
    auto* cancel = MakeButton(this, QStringLiteral("Abbrechen"), units.Rect(68, 50, 58, 14));
    ok_->setDefault(true);
    setTabOrder(puk_, newPin_);
    setTabOrder(newPin_, repeat_);
    setTabOrder(repeat_, ok_);
    setTabOrder(ok_, cancel);

    if (buffer_ != nullptr) {
        puk_->setText(FieldText(buffer_->Puk()));
        newPin_->setText(FieldText(buffer_->NewPin()));
        repeat_->setText(FieldText(buffer_->NewPin()));
    }
    ok_->setEnabled(false);
    for (QLineEdit* field : {puk_, newPin_, repeat_}) {
        connect(field, &QLineEdit::textChanged, this, &PinUnblockDialog::UpdateOk);
    }
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &PinUnblockDialog::reject);
    puk_->setFocus();
}

void PinUnblockDialog::UpdateOk() {
    // QString compares case-sensitively and by length: "abc" and "ABC" differ.
    ok_->setEnabled(!puk_->text().isEmpty() && !newPin_->text().isEmpty() &&
                    newPin_->text() == repeat_->text());
}

void PinUnblockDialog::done(int result) {
    if (result == kPinDialogOk && buffer_ != nullptr) {
        TakeField(*puk_, buffer_->Puk());
        TakeField(*newPin_, buffer_->NewPin());
    }
    for (QLineEdit* field : {puk_, newPin_, repeat_}) {
        field->setText(QString());
    }
    QDialog::done(result);
}

void PinUnblockDialog::reject() {
    done(kPinDialogCancelled);
}

void PinUnblockDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

int ShowPinEntryDialog(QWidget* parent, PinEntryBuffer* buffer) {
    PinEntryDialog dialog(buffer, parent);
    const ArrowCursorWhileOpen arrow;
    return dialog.exec();
}

int ShowPinUnblockDialog(QWidget* parent, PinUnblockBuffer* buffer) {
    PinUnblockDialog dialog(buffer, parent);
    const ArrowCursorWhileOpen arrow;
    return dialog.exec();
}

bool DialogPinPrompt::AskPin(PinEntryBuffer& buffer) {
    return ShowPinEntryDialog(&parent_, &buffer) == kPinDialogOk;
}

bool DialogPinPrompt::AskPukAndNewPin(PinUnblockBuffer& buffer) {
    return ShowPinUnblockDialog(&parent_, &buffer) == kPinDialogOk;
}

}  // namespace zebrik::app
