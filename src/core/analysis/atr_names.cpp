#include "core/analysis/atr_names.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::uint16_t kAnyDigit = 0xFFFF;

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

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// The digits a bracket class admits. As in a regular expression, "[1,3]" also admits a
// comma, and "-" at either end stands for itself; neither can occur in an ATR's text, so
// both are left out. Negated classes are not used by the list and are not understood.
std::optional<std::uint16_t> ClassDigits(std::string_view body) {
    if (body.empty() || body.front() == '^') {
        return std::nullopt;
    }
    std::uint16_t digits = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char first = ToUpper(body[i]);
        const bool range = i + 2 < body.size() && body[i + 1] == '-';
        const char last = range ? ToUpper(body[i + 2]) : first;
        if (range) {
            i += 2;
        }
        if (first > last) {
            return std::nullopt;
        }
        if ((first == ',' || first == '-') && !range) {
            continue;
        }
        if (HexValue(first) < 0 || HexValue(last) < 0) {
            return std::nullopt;
        }
        for (int value = 0; value < 16; ++value) {
            const char digit = "0123456789ABCDEF"[value];
            if (digit >= first && digit <= last) {
                digits = static_cast<std::uint16_t>(digits | (1u << value));
            }
        }
    }
    return digits;
}

// A pattern of the usual form "XX XX XX" in hex digits and "." only: appends the digit
// sets to nibbles. Anything else (classes, "*", other spacing) leaves nibbles as they were
// and returns false. Most of the list has this form, and building atoms for it first took
// most of the time a run spends on the list.
bool AppendPlainNibbles(std::string_view line, std::vector<std::uint16_t>& nibbles) {
    if ((line.size() + 1) % 3 != 0) {
        return false;
    }
    const std::size_t before = nibbles.size();
    for (std::size_t i = 0; i < line.size(); i += 3) {
        const bool separated = i + 2 >= line.size() || line[i + 2] == ' ';
        for (std::size_t k = i; separated && k < i + 2; ++k) {
            const int value = HexValue(line[k]);
            if (line[k] == '.') {
                nibbles.push_back(kAnyDigit);
            } else if (value >= 0) {
                nibbles.push_back(static_cast<std::uint16_t>(1u << value));
            } else {
                break;
            }
        }
        if (nibbles.size() != before + (i / 3 + 1) * 2) {
            nibbles.resize(before);
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<AtrNameDatabase> AtrNameDatabase::Load(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    // In blocks: read a character at a time, the file took a fifth of the whole load.
    std::string text;
    std::array<char, 65536> block;
    while (file.read(block.data(), block.size()) || file.gcount() > 0) {
        text.append(block.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        return std::nullopt;
    }
    return Parse(text);
}

AtrNameDatabase AtrNameDatabase::Parse(std::string_view text) {
    AtrNameDatabase database;
    database.patterns_.reserve(text.size() / 100);
    database.nameText_.reserve(text.size() / 2);
    bool inEntry = false;  // tab lines name the pattern last added
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = TrimRight(text.substr(0, end));
        const bool indented = end > 0 && text.front() == '\t';
        text.remove_prefix(std::min(end + 1, text.size()));

        if (indented) {
            if (inEntry) {
                database.AddName(TrimLeft(line));  // a tab alone names nothing
            }
        } else if (line.empty()) {
            inEntry = false;
        } else if (line.front() == '#') {
            continue;
        } else if (line.front() == ' ') {
            continue;  // a name indented wrongly: skipped, the entry goes on
        } else {
            inEntry = database.AddPattern(line);
        }
    }
    return database;
}

bool AtrNameDatabase::AddPattern(std::string_view line) {
    const std::size_t firstNibble = nibbles_.size();
    if (AppendPlainNibbles(line, nibbles_)) {
        Pattern pattern;
        pattern.firstName = static_cast<std::uint32_t>(names_.size());
        pattern.fixed = true;
        pattern.first = static_cast<std::uint32_t>(firstNibble);
        pattern.count = static_cast<std::uint32_t>(nibbles_.size() - firstNibble);
        const std::size_t bytes = pattern.count / 2;
        if (fixedByLength_.size() <= bytes) {
            fixedByLength_.resize(bytes + 1);
        }
        fixedByLength_[bytes].push_back(static_cast<std::uint32_t>(patterns_.size()));
        patterns_.push_back(pattern);
        return true;
    }

    std::vector<Atom> atoms;
    atoms.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        Atom atom;
        if (c == ' ') {
            atom.space = true;
        } else if (c == '.') {
            atom.digits = kAnyDigit;
            atom.space = true;
        } else if (HexValue(c) >= 0) {
            atom.digits = static_cast<std::uint16_t>(1u << HexValue(c));
        } else if (c == '[') {
            const std::size_t close = line.find(']', i);
            if (close == std::string_view::npos) {
                return false;
            }
            const std::optional<std::uint16_t> digits =
                ClassDigits(line.substr(i + 1, close - i - 1));
            if (!digits) {
                return false;
            }
            atom.digits = *digits;
            i = close;
        } else if (c == '*' && !atoms.empty() && !atoms.back().repeated) {
            atoms.back().repeated = true;
            continue;
        } else {
            return false;
        }
        atoms.push_back(atom);
    }

    // The usual form "XX XX XX": digit positions and single spaces between the bytes.
    bool fixed = (atoms.size() + 1) % 3 == 0;
    for (std::size_t i = 0; fixed && i < atoms.size(); ++i) {
        const Atom& atom = atoms[i];
        const bool separator = i % 3 == 2;
        fixed = !atom.repeated && (separator ? atom.space && atom.digits == 0 : atom.digits != 0);
    }

    Pattern pattern;
    pattern.firstName = static_cast<std::uint32_t>(names_.size());
    pattern.fixed = fixed;
    const auto index = static_cast<std::uint32_t>(patterns_.size());
    if (fixed) {
        const std::size_t bytes = (atoms.size() + 1) / 3;
        pattern.first = static_cast<std::uint32_t>(nibbles_.size());
        pattern.count = static_cast<std::uint32_t>(bytes * 2);
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            if (i % 3 != 2) {
                nibbles_.push_back(atoms[i].digits);
            }
        }
        if (fixedByLength_.size() <= bytes) {
            fixedByLength_.resize(bytes + 1);
        }
        fixedByLength_[bytes].push_back(index);
    } else {
        pattern.first = static_cast<std::uint32_t>(atoms_.size());
        pattern.count = static_cast<std::uint32_t>(atoms.size());
        atoms_.insert(atoms_.end(), atoms.begin(), atoms.end());
        otherPatterns_.push_back(index);
    }
    patterns_.push_back(pattern);
    return true;
}

void AtrNameDatabase::AddName(std::string_view line) {
    if (line.empty()) {
        return;
    }
    const std::size_t offset = nameText_.size();
    AppendUntrustedText(nameText_, line);
    names_.push_back({static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(nameText_.size() - offset)});
    ++patterns_.back().nameCount;
}

bool AtrNameDatabase::Matches(const Pattern& pattern, std::span<const std::uint16_t> nibbleBits,
                              std::string_view atrText) const {
    if (pattern.fixed) {
        if (pattern.count != nibbleBits.size()) {
            return false;
        }
        const std::uint16_t* sets = nibbles_.data() + pattern.first;
        for (std::size_t i = 0; i < nibbleBits.size(); ++i) {
            if ((sets[i] & nibbleBits[i]) == 0) {
                return false;
            }
        }
        return true;
    }

    // A regular expression of single-character atoms, some repeated: the set of atoms
    // reachable after each character, so a pathological pattern costs no more than
    // atoms times characters.
    const std::span<const Atom> atoms(atoms_.data() + pattern.first, pattern.count);
    std::vector<char> reached(atoms.size() + 1, 0);
    std::vector<char> next(atoms.size() + 1, 0);
    const auto skipRepeated = [&atoms](std::vector<char>& states) {
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            if (states[i] && atoms[i].repeated) {
                states[i + 1] = 1;
            }
        }
    };
    reached[0] = 1;
    skipRepeated(reached);
    for (const char c : atrText) {
        std::fill(next.begin(), next.end(), 0);
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            const Atom& atom = atoms[i];
            const int value = HexValue(c);
            const bool fits = c == ' ' ? atom.space : value >= 0 && ((atom.digits >> value) & 1u);
            if (reached[i] && fits) {
                next[atom.repeated ? i : i + 1] = 1;
            }
        }
        skipRepeated(next);
        reached.swap(next);
    }
    return reached[atoms.size()] != 0;
}

std::vector<std::string_view> AtrNameDatabase::Names(std::span<const std::uint8_t> atr) const {
    std::vector<std::uint16_t> nibbleBits;
    nibbleBits.reserve(atr.size() * 2);
    std::string atrText;
    for (const std::uint8_t byte : atr) {
        nibbleBits.push_back(static_cast<std::uint16_t>(1u << (byte >> 4)));
        nibbleBits.push_back(static_cast<std::uint16_t>(1u << (byte & 0x0F)));
        if (!atrText.empty()) {
            atrText.push_back(' ');
        }
        AppendHexBytes(atrText, std::span(&byte, 1));
    }

    std::vector<std::uint32_t> matching;
    if (atr.size() < fixedByLength_.size()) {
        for (const std::uint32_t index : fixedByLength_[atr.size()]) {
            if (Matches(patterns_[index], nibbleBits, atrText)) {
                matching.push_back(index);
            }
        }
    }
    for (const std::uint32_t index : otherPatterns_) {
        if (Matches(patterns_[index], nibbleBits, atrText)) {
            matching.push_back(index);
        }
    }
    std::sort(matching.begin(), matching.end());

    std::vector<std::string_view> names;
    for (const std::uint32_t index : matching) {
        const Pattern& pattern = patterns_[index];
        for (std::uint32_t n = 0; n < pattern.nameCount; ++n) {
            const NameSpan& name = names_[pattern.firstName + n];
            names.push_back(std::string_view(nameText_).substr(name.offset, name.length));
        }
    }
    return names;
}

std::size_t WriteNameMultiString(std::span<const std::string_view> names, std::span<char> out) {
    if (out.empty()) {
        return 0;
    }
    std::size_t used = 0;
    for (const std::string_view name : names) {
        if (name.empty()) {
            continue;  // an empty string would end the list early
        }
        if (used + name.size() + 2 > out.size()) {  // the name, its NUL, the final NUL
            break;
        }
        std::copy(name.begin(), name.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
        used += name.size();
        out[used++] = '\0';
    }
    out[used++] = '\0';
    return used;
}

const AtrNameDatabase* LazyAtrNameDatabase::Get() {
    if (!loaded_) {
        database_ = AtrNameDatabase::Load(path_);
        loaded_ = true;
    }
    return database_ ? &*database_ : nullptr;
}

void LazyAtrNameDatabase::Forget() {
    database_.reset();
    loaded_ = false;
}

ResultCode ListCardNames(const AtrNameDatabase* database, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) {
    if (database == nullptr) {
        return kScardEUnsupportedFeature;
    }
    const std::size_t room = std::min<std::size_t>(length, names.size());
    if (room == 0) {
        return kScardEInsufficientBuffer;
    }
    const std::vector<std::string_view> found = database->Names(atr);
    length = static_cast<std::uint32_t>(WriteNameMultiString(found, names.first(room)));
    return kScardSuccess;
}

}  // namespace zebrik
