#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pcsc/card_name_multi_string.h"
#include "pcsc/card_name_pattern.h"

// Finds the names of one ATR in a list in the format of pcsc-tools' smartcard_list.txt,
// reading the list once, in pieces of any size:
//
//   # a comment               (also inside an entry, which it does not end)
//   3B 02 14 50               an ATR pattern (see card_name_pattern.h)
//   <TAB>Card name            its names, one per tab-indented line
//   <TAB>Another line
//   (blank line)              ends the entry
//
// Only the names of a pattern that matches are read; every other line is passed over to
// its newline. A line indented with spaces is passed over too; a line that is neither a
// comment, a name nor a pattern makes no pattern, and the names under it are dropped.
namespace zebrik {

class CardNameScan {
public:
    CardNameScan(std::span<const std::uint8_t> atr, CardNameMultiString& names)
        : atr_(atr), pattern_(atr_), names_(names) {}

    // Reads the next piece of the list. False once no later piece can add a name.
    bool Feed(std::string_view piece);
    // The end of the list: a last name without its newline counts.
    void Finish();

private:
    enum class Line { Start, Skip, Spaces, Pattern, NameStart, Name };

    void TakeNamePart(std::string_view part);
    bool EndName();

    AtrText atr_;
    CardNamePattern pattern_;
    CardNameMultiString& names_;
    Line line_ = Line::Start;
    bool entryMatches_ = false;  // the tab lines that follow are names of the ATR
    // The name being read, kept only as far as it can fit: one byte more shows it does not.
    std::string name_;
    bool nameTooLong_ = false;
};

}  // namespace zebrik
