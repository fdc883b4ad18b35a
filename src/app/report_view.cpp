#include "app/report_view.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextOption>

namespace zebrik::app {

namespace {

// A long run shows its lines as they come, but painting after every line would slow a
// phone book of a few hundred records down to a crawl.
constexpr qint64 kRepaintIntervalMs = 40;

// The pane wears the desktop's window text on the background of an editable field,
// although it is read-only, and its selection looks the same with and without the focus.
QPalette PanePalette(QPalette palette) {
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, palette.color(group, QPalette::WindowText));
    }
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    return palette;
}

}  // namespace

ReportView::ReportView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Read-only, yet with a caret the keyboard can move and select with.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setMaximumBlockCount(0);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setPalette(PanePalette(palette()));
}

void ReportView::Clear() {
    pending_.clear();
    clear();
    LetRepaint();
}

void ReportView::Append(std::string_view utf8Text) {
    // On screen the text waits for the pane's next repaint, so that Qt lays out only the
    // lines that show: inserted one by one, each line was laid out as it came, and the
    // 1000 entries of a SIM's phone books took the window longer than the card took. A
    // pane that is not on screen takes the text at once.
    pending_ += QString::fromUtf8(utf8Text.data(), static_cast<qsizetype>(utf8Text.size()));
    if (!isVisible()) {
        InsertPending();
    }
    LetRepaint();
}

void ReportView::InsertPending() {
    if (pending_.isEmpty()) {
        return;
    }
    pending_.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(pending_);
    pending_.clear();

    // Without a selection the caret follows the text, so the view scrolls with the run. A
    // caret at the end has moved along with the insertion already.
    QTextCursor caret = textCursor();
    if (!caret.hasSelection() && !caret.atEnd()) {
        caret.movePosition(QTextCursor::End);
        setTextCursor(caret);
    }
}

void ReportView::DropSelection() {
    QTextCursor caret = textCursor();
    caret.clearSelection();
    setTextCursor(caret);
}

void ReportView::SelectEverything() {
    InsertPending();
    selectAll();
}

void ReportView::CopyToClipboard() {
    InsertPending();
    if (!textCursor().hasSelection()) {
        SelectEverything();
    }
    QGuiApplication::clipboard()->setText(SelectedPlainText(textCursor()));
}

void ReportView::LetRepaint() {
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs) {
        // The next events processed, at the latest those after the run, show the new text.
        if (!showPending_) {
            showPending_ = true;
            QMetaObject::invokeMethod(this, &ReportView::ShowNewText, Qt::QueuedConnection);
        }
        return;
    }
    ShowNewText();
    // Paint and other non-input events only: the window takes no input during a run.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceRepaint_.restart();
}

void ReportView::ShowNewText() {
    showPending_ = false;
    InsertPending();
    // Scrolling after every line would also copy the whole picture of the pane each time.
    if (!textCursor().hasSelection()) {
        ensureCursorVisible();
    }
}

QString SelectedPlainText(const QTextCursor& cursor) {
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

}  // namespace zebrik::app
