#include "pcsc/card_name_pattern.h"

#include <algorithm>

namespace zebrik {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

constexpr std::string_view kUpperHexDigits = "0123456789ABCDEF";

// A character that always stands for exactly one character of the ATR's text.
bool IsSingleAtom(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == ' ';
}

}  // namespace

AtrText::AtrText(std::span<const std::uint8_t> atr) {
    if (atr.size() > kMaxAtrLength) {
        return;
    }
    usable_ = true;
    std::size_t position = 0;
    for (const std::uint8_t byte : atr) {
        if (position > 0) {
            text_[position] = ' ';
            spaces_.set(position++);
        }
        for (const int digit : {byte >> 4, byte & 0x0F}) {
            text_[position] = kUpperHexDigits[static_cast<std::size_t>(digit)];
            digits_[digit].set(position++);
        }
    }
    length_ = position;
    for (std::size_t i = 0; i < length_; ++i) {
        anything_.set(i);
    }
}

void CardNamePattern::Restart() {
    reached_.reset();
    reached_.set(0);
    atom_.reset();
    heldBlanks_ = 0;
    heldOtherBlank_ = false;
    hopeless_ = !atr_.Usable();
    inClass_ = false;
}

std::size_t CardNamePattern::Take(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (hopeless_) {
            return i;
        }
        if (text[i] == '\n') {
            return i;
        }
        hopeless_ = !TakeCharacter(text[i]);
    }
    return text.size();
}

bool CardNamePattern::MatchesLine(std::string_view line) {
    // Most lines are upper-case hex digits, "." and single spaces, and most fail within the
    // first few characters: compared straight against the ATR's text. Whatever the compare
    // cannot decide (a class, a repeat, lower case, trailing blanks) goes through Take.
    const std::size_t length = atr_.Length();
    const std::size_t common = std::min(line.size(), length);
    const char* const pattern = line.data();
    const char* const text = atr_.Text().data();
    for (std::size_t i = 0; i < common; ++i) {
        const char c = pattern[i];
        if (c == text[i] || c == '.') {
            continue;
        }
        const bool repeated = i + 1 < line.size() && pattern[i + 1] == '*';
        if (IsSingleAtom(c) && !repeated) {
            return false;
        }
        return MatchesSlowly(line);
    }
    if (line.size() == length) {
        return atr_.Usable();
    }
    // Shorter: plain up to its end, so it cannot reach the ATR's end. Longer: only repeats
    // or trailing blanks could make up for the rest.
    if (line.size() < length || line.find_first_of("* \t\r", common) == line.npos) {
        return false;
    }
    return MatchesSlowly(line);
}

bool CardNamePattern::MatchesSlowly(std::string_view line) {
    Restart();
    Take(line);
    return Matches();
}

bool CardNamePattern::Matches() {
    if (hopeless_ || inClass_ || !Step()) {
        return false;
    }
    return reached_.test(atr_.Length());
}

// Applies the atom read last, once: each position it fits moves on by one.
bool CardNamePattern::Step() {
    if (atom_) {
        reached_ = (reached_ & *atom_) << 1;
        atom_.reset();
    }
    return reached_.any();
}

bool CardNamePattern::TakeCharacter(char c) {
    if (inClass_) {
        return c == ']' ? CloseClass() : TakeClassCharacter(c);
    }
    if (IsBlank(c)) {
        ++heldBlanks_;
        heldOtherBlank_ = heldOtherBlank_ || c != ' ';
        return true;
    }
    if (heldBlanks_ > 0 && !ReleaseBlanks()) {
        return false;
    }
    if (c == '*') {
        if (!atom_) {
            return false;  // nothing to repeat, or a second "*"
        }
        // Any number of the atom: its positions spread forward as far as it fits.
        for (AtrText::Positions more = reached_; more.any();) {
            more = ((more & *atom_) << 1) & ~reached_;
            reached_ |= more;
        }
        atom_.reset();
        return true;
    }
    if (!Step()) {
        return false;
    }
    if (c == '[') {
        inClass_ = true;
        classDigits_ = 0;
        classCharacters_ = 0;
        classHeldCount_ = 0;
        return true;
    }
    if (c == '.') {
        atom_ = atr_.Anything();
        return true;
    }
    const int value = HexValue(c);
    if (value < 0) {
        return false;
    }
    atom_ = atr_.Digit(value);
    return true;
}

// Blanks followed by more pattern are part of it: a space is an atom, a tab or a carriage
// return makes the line no pattern.
bool CardNamePattern::ReleaseBlanks() {
    if (heldOtherBlank_) {
        return false;
    }
    for (; heldBlanks_ > 0; --heldBlanks_) {
        if (!Step()) {
            return false;
        }
        atom_ = atr_.Spaces();
    }
    return true;
}

// A class is read as a regular expression reads it: "a-z" is a range when something follows
// the "-" inside the brackets, a "-" or "," anywhere else stands for itself (and can never
// match an ATR's text), and a negated class ("[^...]", which the list does not use) is not
// understood.
bool CardNamePattern::TakeClassCharacter(char c) {
    if (classCharacters_++ == 0 && c == '^') {
        return false;
    }
    if (classHeldCount_ == 2) {
        classHeldCount_ = 0;
        return AddClassRange(classHeld_[0], c);
    }
    if (classHeldCount_ == 1 && c != '-') {
        const char member = classHeld_[0];
        classHeld_[0] = c;
        return AddClassMember(member);
    }
    classHeld_[classHeldCount_++] = c;
    return true;
}

bool CardNamePattern::CloseClass() {
    inClass_ = false;
    if (classCharacters_ == 0) {
        return false;
    }
    for (std::size_t i = 0; i < classHeldCount_; ++i) {
        if (!AddClassMember(classHeld_[i])) {
            return false;
        }
    }
    AtrText::Positions fits;
    for (int value = 0; value < 16; ++value) {
        if ((classDigits_ >> value) & 1u) {
            fits |= atr_.Digit(value);
        }
    }
    atom_ = fits;
    return true;
}

bool CardNamePattern::AddClassMember(char c) {
    if (c == '-' || c == ',') {
        return true;
    }
    return AddClassRange(c, c);
}

bool CardNamePattern::AddClassRange(char first, char last) {
    first = ToUpper(first);
    last = ToUpper(last);
    if (first > last || HexValue(first) < 0 || HexValue(last) < 0) {
        return false;
    }
    for (int value = 0; value < 16; ++value) {
        const char digit = kUpperHexDigits[static_cast<std::size_t>(value)];
        if (digit >= first && digit <= last) {
            classDigits_ = static_cast<std::uint16_t>(classDigits_ | (1u << value));
        }
    }
    return true;
}

}  // namespace zebrik
