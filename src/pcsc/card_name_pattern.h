#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/ports/resource_manager.h"

// One ATR pattern of pcsc-tools' list, matched as it is read. A pattern is a regular
// expression over the ATR written as upper-case hex bytes with single spaces between
// ("3B 02 14 50"); the list uses hex digits in either case, "." for any character, classes
// like [0-9A-F], [13] or [1,3] for a choice, and in a few entries ".*" for any run of
// characters. It has to match the whole ATR, not a prefix.
namespace zebrik {

// The ATR as the patterns see it, kept as the set of text positions where each character
// a pattern can name stands.
class AtrText {
public:
    static constexpr std::size_t kMaxLength = kMaxAtrLength * 3 - 1;
    // Bit i: the character at position i, or, for a match in progress, i characters read.
    using Positions = std::bitset<kMaxLength + 1>;

    // An ATR longer than kMaxAtrLength bytes (none is) has no text, and no pattern matches.
    explicit AtrText(std::span<const std::uint8_t> atr);

    bool Usable() const { return usable_; }
    std::size_t Length() const { return length_; }
    std::string_view Text() const { return std::string_view(text_.data(), length_); }
    const Positions& Digit(int value) const { return digits_[static_cast<std::size_t>(value)]; }
    const Positions& Spaces() const { return spaces_; }
    const Positions& Anything() const { return anything_; }

private:
    bool usable_ = false;
    std::size_t length_ = 0;
    std::array<char, kMaxLength> text_{};
    Positions digits_[16];
    Positions spaces_;
    Positions anything_;
};

// A pattern line read a piece at a time. It keeps the text positions the pattern read so
// far can have reached, so a line is given up at the first character that leaves none -
// for most patterns one of the first few, and for any pattern whose byte count differs from
// the ATR's at the latest where it runs past the ATR's end - and a ".*" costs no more than
// the ATR's length per character of the line.
class CardNamePattern {
public:
    explicit CardNamePattern(const AtrText& atr) : atr_(atr) { Restart(); }

    // Begins a new line.
    void Restart();
    // Reads the line on up to its newline or until it cannot match any more; returns the
    // characters read (the newline is not).
    std::size_t Take(std::string_view text);
    // True once the line cannot match the ATR: it left no position, or it is no pattern.
    bool Hopeless() const { return hopeless_; }
    // At the end of the line: whether the whole line matches the whole ATR.
    bool Matches();

    // Whether a whole line (without its newline) matches the whole ATR: the same as
    // Restart, Take and Matches, but quicker for the usual patterns.
    bool MatchesLine(std::string_view line);

private:
    bool MatchesSlowly(std::string_view line);
    bool TakeCharacter(char c);
    bool TakeClassCharacter(char c);
    bool CloseClass();
    bool AddClassMember(char c);
    bool AddClassRange(char first, char last);
    bool ReleaseBlanks();
    bool Step();

    const AtrText& atr_;
    AtrText::Positions reached_;
    // The last atom read, applied when the next character shows whether "*" repeats it.
    std::optional<AtrText::Positions> atom_;
    // Blanks are held until something follows them: at the end of the line they are
    // trailing blanks and belong to no pattern.
    std::size_t heldBlanks_ = 0;
    bool heldOtherBlank_ = false;
    bool hopeless_ = false;
    // A bracket class being read: its members so far, its characters, and up to two
    // characters not yet known to be a member or the start of a range "a-z".
    bool inClass_ = false;
    std::uint16_t classDigits_ = 0;
    std::size_t classCharacters_ = 0;
    char classHeld_[2] = {};
    std::size_t classHeldCount_ = 0;
};

}  // namespace zebrik
