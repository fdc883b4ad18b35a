#include "cli/stream_report.h"

#include "cli/console.h"

namespace zebrik::cli {

void StreamReport::Append(std::string_view utf8Text) {
    if (keepLineEnds_) {
        Write(utf8Text);
    } else {
        Write(lineEnds_.Convert(utf8Text));
    }
}

void StreamReport::Flush() {
    if (std::fflush(stream_) != 0) {
        written_ = false;
    }
}

void StreamReport::Finish() {
    Write(lineEnds_.Finish());
    Flush();
}

void StreamReport::Write(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (console_) {
        WriteToConsole(stream_, text);
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        written_ = false;
    }
}

}  // namespace zebrik::cli
