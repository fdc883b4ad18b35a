#include "kit/card_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "core/report/text.h"
#include "sim/catalog.h"

namespace zebrik::sim {
namespace {

using Words = std::vector<std::string_view>;

// A mistake in the statement being read; the reader adds file and line. The helpers of the
// simulated card kit (GsmText, DiallingNumber) throw std::invalid_argument as well.
[[noreturn]] void Fail(const std::string& what) {
    throw std::invalid_argument(what);
}

unsigned Number(std::string_view text, unsigned max) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max) {
        Fail("'" + std::string(text) + "' is not a number from 0 to " + std::to_string(max));
    }
    return value;
}

Bytes HexBytes(std::string_view text) {
    Bytes bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* at = text.data() + 2 * i;
        if (std::from_chars(at, at + 2, bytes[i], 16).ptr != at + 2) {
            bytes.clear();
            break;
        }
    }
    if (text.empty() || text.size() != 2 * bytes.size()) {
        Fail("'" + std::string(text) + "' is not hex, two digits a byte");
    }
    return bytes;
}

std::uint8_t HexByte(std::string_view text) {
    if (text.size() != 2) {
        Fail("'" + std::string(text) + "' is not one byte");
    }
    return HexBytes(text)[0];
}

// Quoted text as written: \\, \" and \xHH escapes resolved, %d or %0Kd replaced by the
// number of a repeated record.
std::string Unquoted(std::string_view text, std::optional<unsigned> number) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
        } else if (text[i] == '\\' && text.substr(i + 1, 1) == "x") {
            out += static_cast<char>(HexByte(text.substr(i + 2, 2)));
            i += 3;
        } else if (text[i] == '\\') {
            Fail("unknown escape in \"" + std::string(text) + "\"");
        } else if (text[i] == '%') {
            const std::size_t d = text.find('d', i);
            const std::string_view width = text.substr(i + 1, d - i - 1);
            if (!number || d == text.npos || (!width.empty() && width[0] != '0')) {
                Fail("'%' is %d or %0Kd, and only in a repeated record");
            }
            out += Format("%0*u", width.empty() ? 0 : int(Number(width, 20)), *number);
            i = d;
        } else {
            out += text[i];
        }
    }
    return out;
}

// One value token: hex, HH*N, or quoted text with its kind and padding.
Bytes ValueOf(std::string_view token, std::optional<unsigned> number) {
    const std::size_t quote = token.find('"');
    const std::size_t star = token.find('*');
    if (quote == token.npos && star != token.npos) {
        return Bytes(Number(token.substr(star + 1), 4096), HexByte(token.substr(0, star)));
    }
    if (quote == token.npos) {
        return HexBytes(token);
    }
    const std::size_t close = token.rfind('"');
    const std::string_view kind = token.substr(0, quote), rest = token.substr(close + 1);
    const std::string text = Unquoted(token.substr(quote + 1, close - quote - 1), number);
    Bytes bytes;
    if (kind == "gsm") {
        bytes = GsmText(text);
    } else if (kind == "tel") {
        bytes = DiallingNumber(text);
    } else if (kind.empty() && std::ranges::all_of(token, [](char c) { return c >= 0x20; })) {
        bytes.assign(text.begin(), text.end());
    } else {
        Fail("'" + std::string(token) + "' is no text of a kind known (plain ASCII, gsm or tel)");
    }
    if (!rest.empty()) {
        const unsigned length = rest[0] == '/' ? Number(rest.substr(1), 256) : 0;
        if (rest[0] != '/' || bytes.size() > length) {
            Fail("'" + std::string(token) + "' does not fit its length");
        }
        bytes.resize(length, kind == "gsm" ? 0xFF : 0x20);
    }
    return bytes;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A statement split into words; quoted text stays one word, a '#' outside quotes ends it.
Words WordsOf(std::string_view line) {
    Words words;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t start = line.find_first_not_of(" \t\r", i);
        if (start == line.npos || line[start] == '#') {
            break;
        }
        bool quoted = false;
        for (i = start; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (quoted && line[i] == '\\') {
                ++i;
            } else {
                quoted ^= line[i] == '"';
            }
        }
        if (quoted) {
            Fail("no closing quote");
        }
        words.push_back(line.substr(start, i - start));
    }
    return words;
}

Bytes ValuesOf(std::span<const std::string_view> words, std::optional<unsigned> number = {}) {
    Bytes bytes;
    for (const std::string_view word : words) {
        const Bytes part = ValueOf(word, number);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

// The words of a statement before a ':' and the bytes after it, if there is one.
std::pair<Words, std::optional<Bytes>> SplitAtColon(std::span<const std::string_view> words) {
    const auto colon = std::ranges::find(words, ":");
    const Words head(words.begin(), colon);
    if (colon == words.end()) {
        return {head, std::nullopt};
    }
    return {head, ValuesOf({colon + 1, words.end()})};
}

// The value of `key=value` among the words, if given.
std::optional<std::string_view> Option(std::span<const std::string_view> words,
                                       std::string_view key) {
    for (const std::string_view word : words) {
        if (word.starts_with(key) && word.substr(key.size(), 1) == "=") {
            return word.substr(key.size() + 1);
        }
    }
    return std::nullopt;
}

void OnlyOptions(std::span<const std::string_view> words, std::set<std::string_view> keys) {
    for (const std::string_view word : words) {
        if (!keys.contains(word.substr(0, word.find('=')))) {
            Fail("unknown option '" + std::string(word) + "'");
        }
    }
}

bool IsDf(const SimFile& file) {
    return file.kind == FileKind::Master || file.kind == FileKind::Dedicated;
}

bool IsRecordFile(FileKind kind) {
    return kind == FileKind::LinearFixed || kind == FileKind::Cyclic;
}

// The file at a path of file identifiers below the MF ("3F00" is the MF itself); with
// `create`, a missing last file is added to its DF as a file of that kind.
SimFile& FileAt(SimFile& mf, std::string_view path, std::optional<FileKind> create = {}) {
    SimFile* file = &mf;
    for (std::size_t start = 0; path != "3F00" && start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view id = path.substr(start, slash - start);
        if (id.size() != 4 || id == "3F00" || !IsDf(*file)) {
            Fail("'" + std::string(path) + "' is no path of DFs and a file below the MF");
        }
        const Bytes bytes = HexBytes(id);
        const auto number = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
        const auto child = std::ranges::find(file->children, number, &SimFile::id);
        start = slash + 1;
        if (child != file->children.end()) {
            file = &*child;
        } else if (create && start > path.size()) {
            file = &file->children.emplace_back();
            file->id = number;
            file->kind = *create;
        } else {
            Fail("no file '" + std::string(path) + "'");
        }
    }
    return *file;
}

void SetAttempts(std::optional<std::string_view> text, std::uint8_t& attempts, std::uint8_t& max) {
    if (text) {
        const std::size_t slash = text->find('/');
        attempts = static_cast<std::uint8_t>(Number(text->substr(0, slash), 15));
        if (slash != text->npos) {
            max = static_cast<std::uint8_t>(Number(text->substr(slash + 1), 15));
        }
    }
}

void SetChv(Chv& chv, std::span<const std::string_view> words) {
    OnlyOptions(words, {"pin", "puk", "tries", "puk-tries", "initialised"});
    if (const auto pin = Option(words, "pin")) {
        chv.code = ChvCode(*pin);
    }
    if (const auto puk = Option(words, "puk")) {
        chv.unblockCode = ChvCode(*puk);
    }
    SetAttempts(Option(words, "tries"), chv.attempts, chv.maxAttempts);
    SetAttempts(Option(words, "puk-tries"), chv.unblockAttempts, chv.maxUnblockAttempts);
    if (const auto initialised = Option(words, "initialised")) {
        if (*initialised != "yes" && *initialised != "no") {
            Fail("initialised=yes or no");
        }
        chv.initialised = *initialised == "yes";
    }
}

std::string_view OneWord(std::span<const std::string_view> words) {
    if (words.size() != 1) {
        Fail("one word expected");
    }
    return words[0];
}

std::string_view OneOf(std::string_view word, std::initializer_list<std::string_view> allowed) {
    if (std::ranges::find(allowed, word) == allowed.end()) {
        Fail("'" + std::string(word) + "' is none of the values this statement takes");
    }
    return word;
}

std::string TextOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CardFileError(path.string() + ": cannot be read");
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CardReader {
public:
    CardReader(std::string_view origin, const std::filesystem::path& directory, int depth)
        : origin_(origin), directory_(directory), depth_(depth) {}

    CardDescription Read(std::string_view text, std::string name) {
        std::istringstream lines{std::string(text)};
        bool hasTitle = false, hasAtr = false;
        int number = 0;
        for (std::string line; std::getline(lines, line); ++number) {
            try {
                const Words words = WordsOf(line);
                if (words.empty()) {
                    continue;
                }
                if (words[0] == "base" && (statements_ > 0 || words.size() != 2)) {
                    Fail("'base NAME' comes once, before everything else");
                }
                hasTitle |= words[0] == "title";
                hasAtr |= words[0] == "atr" || words[0] == "base";
                Statement(line, words);
                ++statements_;
            } catch (const std::invalid_argument& mistake) {
                throw CardFileError(std::string(origin_) + ":" + std::to_string(number + 1) + ": " +
                                    mistake.what());
            }
        }
        if (!hasTitle || !hasAtr) {
            throw CardFileError(std::string(origin_) + ": a card needs a title and an ATR");
        }
        card_.name = std::move(name);
        // A card's own answers come before those of its base.
        card_.scripted.insert(card_.scripted.begin(), answers_.begin(), answers_.end());
        return std::move(card_);
    }

private:
    void Statement(std::string_view line, const Words& words) {
        const std::string_view keyword = words[0];
        std::span<const std::string_view> rest = std::span(words).subspan(1);
        SimFile* const records = records_;
        records_ = nullptr;
        if (keyword == "base") {
            card_ = Base(words[1]);
        } else if (keyword == "title") {
            const std::size_t start = line.find_first_not_of(" \t", line.find("title") + 5);
            card_.title = start == line.npos ? "" : line.substr(start);
            card_.title.erase(card_.title.find_last_not_of('\r') + 1);
        } else if (keyword == "atr") {
            card_.atr = ValuesOf(rest);
        } else if (keyword == "protocol") {
            card_.protocol =
                OneOf(OneWord(rest), {"T=0", "T=1"}) == "T=0" ? kProtocolT0 : kProtocolT1;
        } else if (keyword == "classes") {
            card_.classes.clear();
            std::ranges::transform(rest, std::back_inserter(card_.classes), HexByte);
        } else if (keyword == "pin-query") {
            card_.chv1Enabled = OneOf(OneWord(rest), {"on", "off"}) == "on";
        } else if (keyword == "chv1" || keyword == "chv2") {
            SetChv(keyword == "chv1" ? card_.chv1 : card_.chv2, rest);
        } else if (keyword == "df" || keyword == "binary" || keyword == "records" ||
                   keyword == "cyclic") {
            FileStatement(keyword, rest);
        } else if (keyword == "record" || keyword == "repeat") {
            records_ = records;
            AddRecords(keyword, rest);
        } else if (keyword == "select-data" || keyword == "select-status") {
            const auto [head, value] = SplitAtColon(rest);
            if (head.size() != 1 || !value || (keyword == "select-status" && value->size() != 2)) {
                Fail(std::string(keyword) + " PATH : VALUE (a status word: two bytes)");
            }
            SimFile& file = FileAt(card_.mf, head[0]);
            if (keyword == "select-data") {
                file.selectResponse = *value;
            } else {
                file.selectStatus = static_cast<std::uint16_t>((*value)[0] << 8 | (*value)[1]);
            }
        } else if (keyword == "remove") {
            const std::string_view path = OneWord(rest);
            const std::size_t slash = path.rfind('/');
            SimFile& parent =
                slash == path.npos ? card_.mf : FileAt(card_.mf, path.substr(0, slash));
            const std::uint16_t id = FileAt(card_.mf, path).id;
            std::erase_if(parent.children, [id](const SimFile& child) { return child.id == id; });
        } else if (keyword == "answer") {
            ScriptedAnswer answer;
            if (!rest.empty() && rest[0].starts_with("times=")) {
                answer.times = static_cast<int>(Number(rest[0].substr(6), 1000));
                rest = rest.subspan(1);
            }
            const auto [head, value] = SplitAtColon(rest);
            if (head.empty() || !value) {
                Fail("answer [times=N] COMMAND : RESPONSE");
            }
            answer.command = ValuesOf(head);
            answer.response = *value;
            answers_.push_back(std::move(answer));
        } else {
            Fail("unknown statement '" + std::string(keyword) + "'");
        }
    }

    CardDescription Base(std::string_view name) {
        if (depth_ >= kMaxBaseDepth) {
            Fail("bases nest too deep (a card that is its own base?)");
        }
        if (std::optional<CardDescription> card = FindCard(name)) {
            return std::move(*card);
        }
        const std::filesystem::path file = directory_ / (std::string(name) + ".card");
        if (!std::filesystem::exists(file)) {
            Fail("no card '" + std::string(name) + "' beside this one nor in the catalogue");
        }
        return CardReader(file.string(), directory_, depth_ + 1)
            .Read(TextOf(file), std::string(name));
    }

    void FileStatement(std::string_view keyword, std::span<const std::string_view> words) {
        const auto [head, value] = SplitAtColon(words);
        const FileKind kind = keyword == "df"        ? FileKind::Dedicated
                              : keyword == "binary"  ? FileKind::Transparent
                              : keyword == "records" ? FileKind::LinearFixed
                                                     : FileKind::Cyclic;
        if (head.empty() || (value && kind != FileKind::Transparent)) {
            Fail(std::string(keyword) + " PATH [OPTION=VALUE...]" +
                 (kind == FileKind::Transparent ? " [: VALUE]" : ""));
        }
        SimFile& file = FileAt(card_.mf, head[0], kind);
        if (IsDf(file) != (kind == FileKind::Dedicated) ||
            IsRecordFile(file.kind) != IsRecordFile(kind)) {
            Fail("'" + std::string(head[0]) + "' is a file of another kind");
        }
        const std::span options = std::span(head).subspan(1);
        OnlyOptions(options, IsDf(file) ? std::set<std::string_view>{"aid"}
                                        : std::set<std::string_view>{"sfi", "read"});
        if (const auto aid = Option(options, "aid")) {
            file.aid = HexBytes(*aid);
        }
        if (const auto sfi = Option(options, "sfi")) {
            file.shortId = HexByte(*sfi);
        }
        if (const auto read = Option(options, "read")) {
            const std::string_view access = OneOf(*read, {"always", "chv1", "never"});
            file.read = access == "always" ? Access::Always
                        : access == "chv1" ? Access::Chv1
                                           : Access::Never;
        }
        if (value) {
            file.content = *value;
        }
        if (IsRecordFile(kind)) {
            file.kind = kind;
            records_ = &file;
            replaceRecords_ = true;
        }
    }

    // `record VALUE...`, or `repeat N record VALUE...` with the record's number in its text.
    void AddRecords(std::string_view keyword, std::span<const std::string_view> words) {
        const bool repeated = keyword == "repeat";
        if (repeated && (words.size() < 2 || words[1] != "record")) {
            Fail("repeat N record VALUE...");
        }
        if (records_ == nullptr) {
            Fail("a record belongs under a 'records' or 'cyclic' statement");
        }
        if (std::exchange(replaceRecords_, false)) {
            records_->records.clear();
        }
        if (!repeated) {
            records_->records.push_back(ValuesOf(words));
        }
        for (unsigned n = 1, count = repeated ? Number(words[0], 1000) : 0; n <= count; ++n) {
            records_->records.push_back(ValuesOf(words.subspan(2), n));
        }
    }

    static constexpr int kMaxBaseDepth = 8;
    std::string_view origin_;
    std::filesystem::path directory_;
    int depth_;
    CardDescription card_;
    std::vector<ScriptedAnswer> answers_;
    SimFile* records_ = nullptr;  // the record file that `record` lines fill
    bool replaceRecords_ = false;
    int statements_ = 0;
};

}  // namespace

Bytes ValueBytes(std::string_view tokens) {
    try {
        return ValuesOf(WordsOf(tokens));
    } catch (const std::invalid_argument& mistake) {
        throw CardFileError(mistake.what());
    }
}

CardDescription ParseCardText(std::string_view text, std::string_view origin, std::string name,
                              const std::filesystem::path& directory) {
    return CardReader(origin, directory, 0).Read(text, std::move(name));
}

CardDescription LoadCardFile(const std::filesystem::path& path) {
    return ParseCardText(TextOf(path), path.string(), path.stem().string(), path.parent_path());
}

std::optional<CardDescription> FindCard(std::string_view name,
                                        const std::filesystem::path& directory) {
    const std::filesystem::path file = directory / (std::string(name) + ".card");
    if (std::optional<CardDescription> card = FindCard(name)) {
        return card;
    }
    return std::filesystem::exists(file) ? std::optional(LoadCardFile(file)) : std::nullopt;
}

std::vector<CardDescription> AllCards(const std::filesystem::path& directory) {
    std::vector<CardDescription> cards = AllCards();
    std::set<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() == ".card") {
            files.insert(entry.path());
        }
    }
    for (const std::filesystem::path& file : files) {
        cards.push_back(LoadCardFile(file));
        if (FindCard(cards.back().name)) {
            throw CardFileError(file.string() + ": the catalogue has a card of that name");
        }
    }
    return cards;
}

}  // namespace zebrik::sim
