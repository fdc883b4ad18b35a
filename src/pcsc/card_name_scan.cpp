#include "pcsc/card_name_scan.h"

#include <algorithm>
#include <cstring>

namespace zebrik {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

const char* FindNewline(const char* at, const char* end) {
    return static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
}

// The start of the next line, or nullptr when the line goes on past the piece.
const char* NextLine(const char* at, const char* end) {
    const char* newline = FindNewline(at, end);
    return newline == nullptr ? nullptr : newline + 1;
}

}  // namespace

bool CardNameScan::Feed(std::string_view piece) {
    const char* at = piece.data();
    const char* const end = at + piece.size();
    while (at < end) {
        switch (line_) {
            case Line::Start: {
                // Most lines are names of other patterns and comments: passed over here
                // one after another.
                while (*at == '#' || (*at == '\t' && !entryMatches_)) {
                    at = NextLine(at, end);
                    if (at == nullptr) {
                        line_ = Line::Skip;
                        return true;
                    }
                    if (at == end) {
                        return true;
                    }
                }
                const char first = *at;
                if (first == '\t') {
                    line_ = Line::NameStart;
                    ++at;
                } else if (first == '\n') {
                    entryMatches_ = false;
                    ++at;
                } else if (first == ' ') {
                    line_ = Line::Spaces;
                } else if (first == '\r') {
                    // Blank, it ends the entry; with more after it, it is no pattern.
                    entryMatches_ = false;
                    line_ = Line::Skip;
                } else if (const char* newline = FindNewline(at, end); newline != nullptr) {
                    entryMatches_ = pattern_.MatchesLine(
                        std::string_view(at, static_cast<std::size_t>(newline - at)));
                    at = newline + 1;
                } else {
                    pattern_.Restart();  // a pattern that goes on in the next piece
                    line_ = Line::Pattern;
                }
                break;
            }
            case Line::Skip:
                at = NextLine(at, end);
                if (at == nullptr) {
                    return true;
                }
                line_ = Line::Start;
                break;
            case Line::Spaces:
                // Only blanks: a blank line, which ends the entry. Anything else: a name
                // indented wrongly, passed over.
                if (*at == '\n') {
                    entryMatches_ = false;
                    line_ = Line::Start;
                    ++at;
                } else if (IsBlank(*at)) {
                    ++at;
                } else {
                    line_ = Line::Skip;
                }
                break;
            case Line::Pattern: {
                at += pattern_.Take(std::string_view(at, static_cast<std::size_t>(end - at)));
                if (pattern_.Hopeless()) {
                    entryMatches_ = false;
                    line_ = Line::Skip;
                } else if (at < end) {  // at the newline
                    entryMatches_ = pattern_.Matches();
                    line_ = Line::Start;
                    ++at;
                }
                break;
            }
            case Line::NameStart:
                if (*at == '\n') {
                    line_ = Line::Start;  // a tab alone names nothing
                    ++at;
                } else if (IsBlank(*at)) {
                    ++at;
                } else {
                    name_.clear();
                    nameTooLong_ = false;
                    line_ = Line::Name;
                }
                break;
            case Line::Name: {
                const char* newline = FindNewline(at, end);
                const char* partEnd = newline == nullptr ? end : newline;
                TakeNamePart(std::string_view(at, static_cast<std::size_t>(partEnd - at)));
                if (newline == nullptr) {
                    return true;
                }
                line_ = Line::Start;
                at = newline + 1;
                if (!EndName()) {
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

void CardNameScan::Finish() {
    if (line_ == Line::Name) {
        EndName();
    }
    line_ = Line::Start;
    entryMatches_ = false;
}

void CardNameScan::TakeNamePart(std::string_view part) {
    const std::size_t keep = names_.MaxNameBytes() + 1;
    const std::size_t taken = std::min(part.size(), keep - std::min(keep, name_.size()));
    name_.append(part.substr(0, taken));
    // Blanks past what is kept may still be trailing ones; anything else makes it too long.
    if (!TrimRight(part.substr(taken)).empty()) {
        nameTooLong_ = true;
    }
}

bool CardNameScan::EndName() {
    return names_.Add(nameTooLong_ ? std::string_view(name_) : TrimRight(name_));
}

}  // namespace zebrik
