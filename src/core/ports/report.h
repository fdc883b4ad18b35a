#pragma once

#include <string_view>

namespace zebrik {

// The report pane as the analysis sees it. The window, the command-line twin and the
// tests each provide one. Texts are UTF-8 and carry their own "\r\n" line ends.
class Report {
public:
    virtual ~Report() = default;

    // Empties the pane at the start of a run; the caret then stands at the start.
    virtual void Clear() = 0;
    // Inserts the text at the caret (always the end during a run); adds no line end.
    virtual void Append(std::string_view utf8Text) = 0;
    // Cancels any selection, so that the next Append cannot replace selected text.
    // Called after every PIN prompt, when the user may have selected text meanwhile.
    virtual void DropSelection() = 0;
};

// The one way every routine writes into the report.
inline void AppendReport(Report& pane, std::string_view text) { pane.Append(text); }

}  // namespace zebrik
