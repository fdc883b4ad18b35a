#pragma once

#include <string>
#include <string_view>

namespace zebrik::cli {

// Turns the report's "\r\n" line ends into "\n" while the text arrives piece by piece.
// A "\r" at the end of one piece is held back until the next shows whether a "\n"
// follows; a "\r" on its own stays as it is.
class LineEndConverter {
public:
    std::string Convert(std::string_view text) {
        std::string out;
        out.reserve(text.size() + 1);
        for (const char c : text) {
            if (heldReturn_ && c != '\n') {
                out.push_back('\r');
            }
            heldReturn_ = c == '\r';
            if (!heldReturn_) {
                out.push_back(c);
            }
        }
        return out;
    }

    // What is still held back when the text has ended.
    std::string Finish() {
        const bool held = heldReturn_;
        heldReturn_ = false;
        return held ? std::string("\r") : std::string();
    }

private:
    bool heldReturn_ = false;
};

}  // namespace zebrik::cli
