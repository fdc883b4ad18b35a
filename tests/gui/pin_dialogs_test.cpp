// The PIN dialogs: what enables "OK", the field limits, masking, results and the buffer.
#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>

#include "app/pin_dialogs.h"

using zebrik::app::PinEntryDialog;
using zebrik::app::PinUnblockDialog;

namespace {

// Runs `act` on the dialog of type Dialog once it is open and modal.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog&)> act) {
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [act, attempt] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            act(*dialog);
            return;
        }
        QTimer::singleShot(5, *attempt);
    };
    QTimer::singleShot(0, *attempt);
}

// Types characters one by one as a keyboard layout would deliver them, also those that
// QTest::keyClicks cannot (outside Latin-1).
void Type(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(character),
                            Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(character),
                            Qt::NoModifier);
    }
}

enum class Way { Cancel, Escape, CloseBox };

void CloseBy(QDialog& dialog, Way way) {
    switch (way) {
        case Way::Cancel:
            for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                if (button->text() == QStringLiteral("Abbrechen")) {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
            }
            break;
        case Way::Escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case Way::CloseBox:
            dialog.close();
            break;
    }
}

}  // namespace

Q_DECLARE_METATYPE(Way)

class PinDialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entryEnablesOkOnlyWithAPin() {
        PinEntryDialog dialog(nullptr, nullptr);
        QVERIFY(!dialog.OkButton().isEnabled());
        QTest::keyClick(&dialog.PinField(), Qt::Key_1);
        QVERIFY(dialog.OkButton().isEnabled());
        QTest::keyClick(&dialog.PinField(), Qt::Key_Backspace);
        QVERIFY(!dialog.OkButton().isEnabled());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("PIN prüfen"));
        QCOMPARE(dialog.PinField().echoMode(), QLineEdit::Password);
    }

    void unblockEnablesOkOnlyForAPukAndTwoEqualPins_data() {
        QTest::addColumn<QString>("puk");
        QTest::addColumn<QString>("newPin");
        QTest::addColumn<QString>("repeat");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("all empty") << ""
                                   << ""
                                   << "" << false;
        QTest::newRow("no PUK") << ""
                                << "1234"
                                << "1234" << false;
        QTest::newRow("no new PIN") << "12345678"
                                    << ""
                                    << "" << false;
        QTest::newRow("no repetition") << "12345678"
                                       << "1234"
                                       << "" << false;
        QTest::newRow("repetition differs") << "12345678"
                                            << "1234"
                                            << "1243" << false;
        QTest::newRow("repetition shorter") << "12345678"
                                            << "1234"
                                            << "123" << false;
        QTest::newRow("differs by letter case") << "12345678"
                                                << "abcd"
                                                << "abCd" << false;
        QTest::newRow("letters alike") << "puk"
                                       << "abcd"
                                       << "abcd" << true;
        QTest::newRow("digits alike") << "12345678"
                                      << "1234"
                                      << "1234" << true;
    }
    void unblockEnablesOkOnlyForAPukAndTwoEqualPins() {
        QFETCH(QString, puk);
        QFETCH(QString, newPin);
        QFETCH(QString, repeat);
        QFETCH(bool, enabled);
        PinUnblockDialog dialog(nullptr, nullptr);
        QTest::keyClicks(&dialog.PukField(), puk);
        QTest::keyClicks(&dialog.NewPinField(), newPin);
        QTest::keyClicks(&dialog.RepeatField(), repeat);
        QCOMPARE(dialog.OkButton().isEnabled(), enabled);
    }

    void unblockShowsThePukAndMasksThePins() {
        PinUnblockDialog dialog(nullptr, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("PIN entsperren"));
        QCOMPARE(dialog.PukField().echoMode(), QLineEdit::Normal);
        QCOMPARE(dialog.NewPinField().echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.RepeatField().echoMode(), QLineEdit::Password);
    }

    void refusesANinthCharacterInEveryField() {
        PinEntryDialog entry(nullptr, nullptr);
        PinUnblockDialog unblock(nullptr, nullptr);
        for (QLineEdit* field : {&entry.PinField(), &unblock.PukField(), &unblock.NewPinField(),
                                 &unblock.RepeatField()}) {
            QTest::keyClicks(field, QStringLiteral("12345678"));
            QTest::keyClick(field, Qt::Key_9);
            QCOMPARE(field->text(), QStringLiteral("12345678"));
        }
    }

    void refusesCharactersTheCardCannotBeSent() {
        PinEntryDialog dialog(nullptr, nullptr);
        Type(&dialog.PinField(), QStringLiteral("a\u0142\u20AC"));
        QCOMPARE(dialog.PinField().text(), QStringLiteral("a\u20AC"));
    }

    void entryStoresThePinAsTypedAndEmptiesItsField() {
        zebrik::PinEntryBuffer buffer;
        int result = 0;
        WhenOpen<PinEntryDialog>([](PinEntryDialog& dialog) {
            Type(&dialog.PinField(), QStringLiteral("Ab1\u00C4\u20AC"));
            QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
            QVERIFY(dialog.PinField().text().isEmpty());
        });
        result = zebrik::app::ShowPinEntryDialog(nullptr, &buffer);
        QCOMPARE(result, zebrik::app::kPinDialogOk);
        QCOMPARE(QByteArray(buffer.pin.data()), QByteArray("Ab1\xC4\x80"));
    }

    void unblockStoresPukAndNewPinButNotTheRepetition() {
        zebrik::PinUnblockBuffer buffer;
        WhenOpen<PinUnblockDialog>([](PinUnblockDialog& dialog) {
            QTest::keyClicks(&dialog.PukField(), QStringLiteral("87654321"));
            QTest::keyClicks(&dialog.NewPinField(), QStringLiteral("4321"));
            QTest::keyClicks(&dialog.RepeatField(), QStringLiteral("4321"));
            QTest::keyClick(&dialog.RepeatField(), Qt::Key_Return);
            for (QLineEdit* field :
                 {&dialog.PukField(), &dialog.NewPinField(), &dialog.RepeatField()}) {
                QVERIFY(field->text().isEmpty());
            }
        });
        QCOMPARE(zebrik::app::ShowPinUnblockDialog(nullptr, &buffer), zebrik::app::kPinDialogOk);
        QCOMPARE(QByteArray(buffer.Puk()), QByteArray("87654321"));
        QCOMPARE(QByteArray(buffer.NewPin()), QByteArray("4321"));
    }

    void startsWithWhatTheBufferHolds() {
        zebrik::PinUnblockBuffer buffer;
        std::strcpy(buffer.Puk(), "111");
        std::strcpy(buffer.NewPin(), "22");
        PinUnblockDialog dialog(&buffer, nullptr);
        QCOMPARE(dialog.PukField().text(), QStringLiteral("111"));
        QCOMPARE(dialog.NewPinField().text(), QStringLiteral("22"));
        QCOMPARE(dialog.RepeatField().text(), QStringLiteral("22"));
    }

    void cancellingGivesTwoAndLeavesTheBuffer_data() {
        QTest::addColumn<Way>("way");
        QTest::addColumn<bool>("unblock");
        QTest::newRow("entry, Abbrechen") << Way::Cancel << false;
        QTest::newRow("entry, Escape") << Way::Escape << false;
        QTest::newRow("entry, close box") << Way::CloseBox << false;
        QTest::newRow("unblock, Abbrechen") << Way::Cancel << true;
        QTest::newRow("unblock, Escape") << Way::Escape << true;
        QTest::newRow("unblock, close box") << Way::CloseBox << true;
    }
    void cancellingGivesTwoAndLeavesTheBuffer() {
        QFETCH(Way, way);
        QFETCH(bool, unblock);
        int result = 0;
        QByteArray left;
        if (unblock) {
            zebrik::PinUnblockBuffer buffer;
            std::strcpy(buffer.Puk(), "9999");
            std::strcpy(buffer.NewPin(), "5555");
            const zebrik::PinUnblockBuffer before = buffer;
            WhenOpen<PinUnblockDialog>([way](PinUnblockDialog& dialog) {
                QTest::keyClicks(&dialog.PukField(), QStringLiteral("12"));
                QTest::keyClicks(&dialog.NewPinField(), QStringLiteral("34"));
                QTest::keyClicks(&dialog.RepeatField(), QStringLiteral("34"));
                CloseBy(dialog, way);
            });
            result = zebrik::app::ShowPinUnblockDialog(nullptr, &buffer);
            QVERIFY(buffer.bytes == before.bytes);
        } else {
            zebrik::PinEntryBuffer buffer;
            std::strcpy(buffer.pin.data(), "1234");
            const zebrik::PinEntryBuffer before = buffer;
            WhenOpen<PinEntryDialog>([way](PinEntryDialog& dialog) {
                QTest::keyClicks(&dialog.PinField(), QStringLiteral("56"));
                CloseBy(dialog, way);
            });
            result = zebrik::app::ShowPinEntryDialog(nullptr, &buffer);
            QVERIFY(buffer.pin == before.pin);
        }
        QCOMPARE(result, zebrik::app::kPinDialogCancelled);
    }

    void showsTheArrowWhileOpenAndPutsTheWaitCursorBack() {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        Qt::CursorShape whileOpen = Qt::BlankCursor;
        WhenOpen<PinEntryDialog>([&whileOpen](PinEntryDialog& dialog) {
            whileOpen = QGuiApplication::overrideCursor()->shape();
            dialog.reject();
        });
        zebrik::app::ShowPinEntryDialog(nullptr, nullptr);
        const Qt::CursorShape after = QGuiApplication::overrideCursor()->shape();
        QGuiApplication::restoreOverrideCursor();

        QCOMPARE(whileOpen, Qt::ArrowCursor);
        QCOMPARE(after, Qt::WaitCursor);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void promptOpensTheDialogsModallyOverItsWindow() {
        QWidget window;
        window.show();
        zebrik::app::DialogPinPrompt prompt(window);
        QWidget* parent = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
        WhenOpen<PinEntryDialog>([&](PinEntryDialog& dialog) {
            parent = dialog.parentWidget();
            modality = dialog.windowModality();
            QTest::keyClicks(&dialog.PinField(), QStringLiteral("0000"));
            dialog.accept();
        });
        zebrik::PinEntryBuffer buffer;
        QVERIFY(prompt.AskPin(buffer));
        QCOMPARE(parent, &window);
        QVERIFY(modality != Qt::NonModal);
        QCOMPARE(QByteArray(buffer.pin.data()), QByteArray("0000"));

        WhenOpen<PinUnblockDialog>([](PinUnblockDialog& dialog) { dialog.reject(); });
        zebrik::PinUnblockBuffer unblock;
        QVERIFY(!prompt.AskPukAndNewPin(unblock));
    }
};

QTEST_MAIN(PinDialogsTest)
#include "pin_dialogs_test.moc"
