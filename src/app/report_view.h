#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <string_view>

#include "core/ports/report.h"

namespace zebrik::app {

// The report pane: a read-only text view that wraps long lines, keeps its selection
// visible without the focus and has no text limit. As the analysis' Report it appends at
// the end of the text, never at a place the user put the caret.
class ReportView final : public QPlainTextEdit, public Report {
    Q_OBJECT

public:
    explicit ReportView(QWidget* parent = nullptr);

    void Clear() override;
    void Append(std::string_view utf8Text) override;
    void DropSelection() override;

    // Selects the whole text; the caret ends behind it.
    void SelectEverything();
    // Puts the selection on the clipboard, or the whole text (selecting it) when nothing
    // is selected. Line ends become "\n".
    void CopyToClipboard();

private:
    void LetRepaint();
    // Inserts the text appended since the last call at the end.
    void InsertPending();
    // Inserts the pending text and scrolls a caret without selection into view.
    void ShowNewText();

    QElapsedTimer sinceRepaint_;
    QString pending_;
    bool showPending_ = false;
};

// The selected text of a text view as plain text with "\n" line ends; characters such as
// a no-break space stay what they are.
QString SelectedPlainText(const QTextCursor& cursor);

}  // namespace zebrik::app
