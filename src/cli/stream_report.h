#pragma once

#include <cstdio>
#include <string_view>

#include "cli/line_ends.h"
#include "core/ports/report.h"

namespace zebrik::cli {

// The report on a stream, as UTF-8 with "\n" line ends. Each piece is written and
// flushed as soon as it arrives, so a slow card shows its progress line by line and the
// text before a PIN prompt is on the screen when the prompt asks.
class StreamReport : public Report {
public:
    explicit StreamReport(std::FILE* stream) : stream_(stream) {}

    // A run starts with nothing written yet, so there is nothing to empty.
    void Clear() override {}
    void Append(std::string_view utf8Text) override;
    // Nothing on a stream can be selected.
    void DropSelection() override {}

    // Writes what is held back; call once the run has ended.
    void Finish();
    // Whether every piece reached the stream (a full disk, a closed pipe: not).
    bool Written() const { return written_; }

private:
    void Write(std::string_view text);

    std::FILE* stream_;
    LineEndConverter lineEnds_;
    bool written_ = true;
};

}  // namespace zebrik::cli
