#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ports/resource_manager.h"

// Card names by ATR, from a list in the format of pcsc-tools' smartcard_list.txt:
//
//   # a comment
//   3B 02 14 50              an ATR pattern: hex bytes separated by single spaces
//   <TAB>Card name           its names, one per tab-indented line
//   <TAB>Another line
//   (blank line)             ends the entry
//
// A pattern is a regular expression over the ATR written as upper-case hex bytes separated
// by spaces; the list uses "." for any hex digit, classes like [0-9A-F] or [13] for a
// choice, and in a few entries ".*" for any run of characters. It has to match the whole
// ATR, not a prefix.
namespace zebrik {

// Where Debian's pcsc-tools installs the list.
inline constexpr std::string_view kDebianSmartcardList = "/usr/share/pcsc/smartcard_list.txt";

// The room the analysis offers for the names of one card.
inline constexpr std::size_t kCardNameListSize = 256;

// Windows' code for a feature the resource manager does not offer: a missing list makes the
// query fail with it. (pcsc-lite gives SCARD_E_UNSUPPORTED_FEATURE the value of
// SCARD_E_UNEXPECTED, which would read wrong.)
inline constexpr ResultCode kScardEUnsupportedFeature = 0x80100022;

class AtrNameDatabase {
public:
    // Reads and indexes the list; nullopt when the file cannot be read.
    static std::optional<AtrNameDatabase> Load(const std::string& path);
    // Indexes the text of a list. Lines that are neither comments, patterns nor names,
    // and patterns that do not compile, are skipped together with their names.
    static AtrNameDatabase Parse(std::string_view text);

    // The names of every pattern that matches the whole ATR, in the order of the list.
    // The views stay valid as long as the database.
    std::vector<std::string_view> Names(std::span<const std::uint8_t> atr) const;

    std::size_t PatternCount() const { return patterns_.size(); }

private:
    // One pattern of the list. A fixed pattern (the usual kind) is compiled to one set of
    // admitted values per hex digit, first and count indexing nibbles_; any other pattern is
    // kept as its atoms (atoms_) and matched against the ATR's text.
    struct Pattern {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        std::uint32_t firstName = 0;
        std::uint32_t nameCount = 0;
        bool fixed = false;
    };
    // A regular-expression atom: one character of the ATR's text.
    struct Atom {
        std::uint16_t digits = 0;  // bit n: the hex digit n matches
        bool space = false;        // a space matches
        bool repeated = false;     // followed by "*": any number of times
    };
    struct NameSpan {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    bool AddPattern(std::string_view line);
    void AddName(std::string_view line);
    bool Matches(const Pattern& pattern, std::span<const std::uint16_t> nibbleBits,
                 std::string_view atrText) const;

    std::vector<Pattern> patterns_;
    std::vector<std::uint16_t> nibbles_;  // bit n: the digit n is admitted here
    std::vector<Atom> atoms_;
    std::vector<NameSpan> names_;
    std::string nameText_;
    // Fixed patterns by ATR length in bytes, each list in the order of the file; the rest
    // (a handful) is tried for every ATR.
    std::vector<std::vector<std::uint32_t>> fixedByLength_;
    std::vector<std::uint32_t> otherPatterns_;
};

// Writes the names as a multi-string into out: as many whole names as fit, in order, each
// NUL-terminated, then the NUL that ends the list. A name that does not fit leaves out
// itself and all that follow. Returns the bytes written (at least 1 when out is not empty).
std::size_t WriteNameMultiString(std::span<const std::string_view> names, std::span<char> out);

// The list, read on first use only and kept until Forget.
class LazyAtrNameDatabase {
public:
    explicit LazyAtrNameDatabase(std::string path) : path_(std::move(path)) {}

    // nullptr when the list cannot be read; a failed read is not retried before Forget.
    const AtrNameDatabase* Get();
    void Forget();

private:
    std::string path_;
    bool loaded_ = false;
    std::optional<AtrNameDatabase> database_;
};

// The card-name query of the resource manager: the names for the ATR as a multi-string in
// names, of at most length bytes; length comes back as the bytes used. Without a database
// it fails with kScardEUnsupportedFeature and writes nothing.
ResultCode ListCardNames(const AtrNameDatabase* database, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length);

}  // namespace zebrik
