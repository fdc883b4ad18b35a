#include "kit/card_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "core/report/text.h"
#include "sim/catalog.h"

namespace zebrik::sim {
namespace {

constexpr int kMaxBaseDepth = 8;

// A mistake in the statement being read; the reader adds file and line.
struct Mistake : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

[[noreturn]] void Fail(const std::string& what) {
    throw Mistake(what);
}

bool IsHex(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789ABCDEFabcdef") == text.npos;
}

Bytes HexBytes(std::string_view text) {
    if (!IsHex(text) || text.size() % 2 != 0) {
        Fail("'" + std::string(text) + "' is not hex, two digits a byte");
    }
    Bytes bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, bytes[i], 16);
    }
    return bytes;
}

std::uint8_t HexByte(std::string_view text) {
    const Bytes bytes = HexBytes(text);
    if (bytes.size() != 1) {
        Fail("'" + std::string(text) + "' is not one byte");
    }
    return bytes[0];
}

unsigned Number(std::string_view text, unsigned max) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max) {
        Fail("'" + std::string(text) + "' is not a number from 0 to " + std::to_string(max));
    }
    return value;
}

// Text in quotes, the escapes resolved: the bytes as written.
Bytes QuotedBytes(std::string_view text) {
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c != '\\') {
            bytes.push_back(c);
            continue;
        }
        if (i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            bytes.push_back(static_cast<std::uint8_t>(text[++i]));
        } else if (i + 3 < text.size() && text[i + 1] == 'x') {
            bytes.push_back(HexByte(text.substr(i + 2, 2)));
            i += 3;
        } else {
            Fail("unknown escape in \"" + std::string(text) + "\"");
        }
    }
    return bytes;
}

// The printf-style %d or %0Kd in a repeated line's text, replaced by the record's number.
std::string WithNumber(std::string_view text, std::optional<unsigned> number) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const std::size_t d = text.find('d', i);
        if (!number || d == std::string_view::npos) {
            Fail("'%' outside a number of a repeated record");
        }
        const std::string_view width = text.substr(i + 1, d - i - 1);
        if (width.empty()) {
            out += std::to_string(*number);
        } else if (width[0] == '0') {
            out += Format("%0*u", static_cast<int>(Number(width, 20)), *number);
        } else {
            Fail("only %d and %0Kd can number a repeated record");
        }
        i = d;
    }
    return out;
}

// One value token: hex, HH*N, or quoted text with its kind and padding.
Bytes ValueOf(std::string_view token, std::optional<unsigned> number) {
    const std::size_t quote = token.find('"');
    if (quote == std::string_view::npos) {
        if (const std::size_t star = token.find('*'); star != std::string_view::npos) {
            return Bytes(Number(token.substr(star + 1), 4096), HexByte(token.substr(0, star)));
        }
        return HexBytes(token);
    }
    const std::size_t close = token.rfind('"');
    if (close == quote) {
        Fail("no closing quote in " + std::string(token));
    }
    const std::string_view kind = token.substr(0, quote);
    const std::string text = WithNumber(token.substr(quote + 1, close - quote - 1), number);
    const std::string_view rest = token.substr(close + 1);
    std::optional<unsigned> padTo;
    if (!rest.empty()) {
        if (rest[0] != '/') {
            Fail("'" + std::string(rest) + "' after the quotes; only /N pads");
        }
        padTo = Number(rest.substr(1), 256);
    }
    Bytes bytes;
    std::uint8_t pad = 0x20;
    if (kind.empty()) {
        bytes = QuotedBytes(text);
        if (std::any_of(text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; })) {
            Fail("plain text is ASCII; write other bytes as \\x escapes, GSM text as gsm\"...\"");
        }
    } else if (kind == "gsm") {
        bytes = GsmText(text);
        pad = 0xFF;
    } else if (kind == "tel") {
        bytes = DiallingNumber(text);
    } else {
        Fail("unknown text kind '" + std::string(kind) + "' (plain, gsm or tel)");
    }
    if (padTo) {
        if (bytes.size() > *padTo) {
            Fail(std::string(token) + " is longer than " + std::to_string(*padTo) + " bytes");
        }
        bytes.resize(*padTo, pad);
    }
    return bytes;
}

// A statement split into words; quoted text stays one word, a '#' outside quotes ends it.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            break;
        }
        const std::size_t start = i;
        bool quoted = false;
        while (i < line.size() &&
               (quoted || (line[i] != ' ' && line[i] != '\t' && line[i] != '\r'))) {
            if (line[i] == '\\' && quoted) {
                ++i;
            } else if (line[i] == '"') {
                quoted = !quoted;
            }
            ++i;
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

// The words before and after the ':' of a statement.
struct Split {
    std::span<const std::string_view> head;
    std::span<const std::string_view> value;
    bool hasValue = false;
};

Split SplitAtColon(std::span<const std::string_view> words) {
    const auto colon = std::find(words.begin(), words.end(), ":");
    if (colon == words.end()) {
        return {words, {}, false};
    }
    const auto at = static_cast<std::size_t>(colon - words.begin());
    return {words.first(at), words.subspan(at + 1), true};
}

// key=value words.
std::map<std::string, std::string> Options(std::span<const std::string_view> words,
                                           std::initializer_list<std::string_view> allowed) {
    std::map<std::string, std::string> options;
    for (const std::string_view word : words) {
        const std::size_t equals = word.find('=');
        const std::string key(word.substr(0, equals));
        if (equals == std::string_view::npos ||
            std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
            Fail("unknown option '" + std::string(word) + "'");
        }
        if (!options.emplace(key, word.substr(equals + 1)).second) {
            Fail("option '" + key + "' given twice");
        }
    }
    return options;
}

std::vector<std::uint16_t> PathOf(std::string_view text) {
    std::vector<std::uint16_t> path;
    if (text == "3F00") {
        return path;
    }
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t slash = std::min(text.find('/', start), text.size());
        const std::string_view id = text.substr(start, slash - start);
        if (id.size() != 4 || !IsHex(id) || id == "3F00") {
            Fail("'" + std::string(text) + "' is no path of file identifiers below the MF");
        }
        const Bytes bytes = HexBytes(id);
        path.push_back(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
        start = slash + 1;
    }
    return path;
}

bool IsDf(const SimFile& file) {
    return file.kind == FileKind::Master || file.kind == FileKind::Dedicated;
}

SimFile* ChildOf(SimFile& df, std::uint16_t id) {
    for (SimFile& child : df.children) {
        if (child.id == id) {
            return &child;
        }
    }
    return nullptr;
}

// The file at the path; with `create`, a missing last file is added to its DF.
SimFile* FileAt(SimFile& mf, std::string_view pathText, const std::function<SimFile()>& create) {
    const std::vector<std::uint16_t> path = PathOf(pathText);
    SimFile* file = &mf;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (!IsDf(*file)) {
            Fail(Format("%04X in '", path[i - 1]) + std::string(pathText) + "' is no DF");
        }
        SimFile* child = ChildOf(*file, path[i]);
        if (child == nullptr) {
            if (!create || i + 1 < path.size()) {
                Fail("no file '" + std::string(pathText) + "'");
            }
            SimFile made = create();
            made.id = path[i];
            file->children.push_back(std::move(made));
            child = &file->children.back();
        }
        file = child;
    }
    return file;
}

Access AccessOf(std::string_view text) {
    for (const auto& [name, access] :
         {std::pair{"always", Access::Always}, std::pair{"chv1", Access::Chv1},
          std::pair{"never", Access::Never}}) {
        if (text == name) {
            return access;
        }
    }
    Fail("read=" + std::string(text) + ": always, chv1 or never");
}

void SetAttempts(std::string_view text, std::uint8_t& attempts, std::uint8_t& max) {
    const std::size_t slash = text.find('/');
    attempts = static_cast<std::uint8_t>(Number(text.substr(0, slash), 15));
    if (slash != std::string_view::npos) {
        max = static_cast<std::uint8_t>(Number(text.substr(slash + 1), 15));
    }
}

void SetChv(Chv& chv, std::span<const std::string_view> words) {
    for (const auto& [key, value] :
         Options(words, {"pin", "puk", "tries", "puk-tries", "initialised"})) {
        if (key == "pin") {
            chv.code = ChvCode(value);
        } else if (key == "puk") {
            chv.unblockCode = ChvCode(value);
        } else if (key == "tries") {
            SetAttempts(value, chv.attempts, chv.maxAttempts);
        } else if (key == "puk-tries") {
            SetAttempts(value, chv.unblockAttempts, chv.maxUnblockAttempts);
        } else if (value == "yes" || value == "no") {
            chv.initialised = value == "yes";
        } else {
            Fail("initialised=" + value + ": yes or no");
        }
    }
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
        bool hasTitle = false;
        bool hasAtr = false;
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            try {
                const std::vector<std::string_view> words = Words(line);
                if (words.empty()) {
                    continue;
                }
                if (words[0] == "base" && (statements_ > 0 || words.size() != 2)) {
                    Fail("'base NAME' comes once, before everything else");
                }
                hasTitle = hasTitle || words[0] == "title";
                hasAtr = hasAtr || words[0] == "atr" || words[0] == "base";
                Statement(line, words);
                ++statements_;
            } catch (const std::invalid_argument& mistake) {
                throw CardFileError(Format("%.*s:%d: %s", static_cast<int>(origin_.size()),
                                           origin_.data(), number, mistake.what()));
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
    void Statement(const std::string& line, const std::vector<std::string_view>& words) {
        const std::string_view keyword = words[0];
        const auto rest = std::span(words).subspan(1);
        if (keyword == "base") {
            card_ = Base(words[1]);
        } else if (keyword == "title") {
            const std::size_t at = line.find("title") + 5;
            const std::size_t start = line.find_first_not_of(" \t", at);
            card_.title = start == std::string::npos ? "" : line.substr(start);
            while (!card_.title.empty() && card_.title.back() == '\r') {
                card_.title.pop_back();
            }
        } else if (keyword == "atr") {
            card_.atr = ValuesOf(rest);
        } else if (keyword == "protocol") {
            const std::string_view protocol = OneWord(rest);
            if (protocol != "T=0" && protocol != "T=1") {
                Fail("protocol T=0 or T=1");
            }
            card_.protocol = protocol == "T=0" ? kProtocolT0 : kProtocolT1;
        } else if (keyword == "classes") {
            card_.classes.clear();
            for (const std::string_view word : rest) {
                card_.classes.push_back(HexByte(word));
            }
        } else if (keyword == "pin-query") {
            const std::string_view on = OneWord(rest);
            if (on != "on" && on != "off") {
                Fail("pin-query on or off");
            }
            card_.chv1Enabled = on == "on";
        } else if (keyword == "chv1" || keyword == "chv2") {
            SetChv(keyword == "chv1" ? card_.chv1 : card_.chv2, rest);
        } else if (keyword == "df" || keyword == "binary" || keyword == "records" ||
                   keyword == "cyclic") {
            FileStatement(keyword, rest);
        } else if (keyword == "record") {
            AddRecords(rest, std::nullopt);
        } else if (keyword == "repeat") {
            if (rest.size() < 2 || rest[1] != "record") {
                Fail("repeat N record VALUE...");
            }
            AddRecords(rest.subspan(2), Number(rest[0], 1000));
        } else if (keyword == "select-data" || keyword == "select-status") {
            const Split split = SplitAtColon(rest);
            if (split.head.size() != 1 || !split.hasValue) {
                Fail(std::string(keyword) + " PATH : VALUE");
            }
            SimFile* file = FileAt(card_.mf, split.head[0], {});
            const Bytes value = ValuesOf(split.value);
            if (keyword == "select-data") {
                file->selectResponse = value;
            } else if (value.size() == 2) {
                file->selectStatus = static_cast<std::uint16_t>(value[0] << 8 | value[1]);
            } else {
                Fail("select-status takes a status word of two bytes");
            }
        } else if (keyword == "remove") {
            Remove(OneWord(rest));
        } else if (keyword == "answer") {
            Answer(rest);
        } else {
            Fail("unknown statement '" + std::string(keyword) + "'");
        }
        if (keyword != "record" && keyword != "repeat" && keyword != "records" &&
            keyword != "cyclic") {
            records_ = nullptr;
        }
    }

    static std::string_view OneWord(std::span<const std::string_view> words) {
        if (words.size() != 1) {
            Fail("one word expected");
        }
        return words[0];
    }

    CardDescription Base(std::string_view name) {
        if (depth_ >= kMaxBaseDepth) {
            Fail("bases nest too deep (a card that is its own base?)");
        }
        if (std::optional<CardDescription> card = FindCard(name)) {
            return std::move(*card);
        }
        const std::filesystem::path file = directory_ / (std::string(name) + ".card");
        if (std::filesystem::exists(file)) {
            return CardReader(file.string(), directory_, depth_ + 1)
                .Read(TextOf(file), std::string(name));
        }
        Fail("no card '" + std::string(name) + "' beside this one nor in the catalogue");
    }

    void FileStatement(std::string_view keyword, std::span<const std::string_view> words) {
        const Split split = SplitAtColon(words);
        if (split.head.empty()) {
            Fail(std::string(keyword) + " PATH [OPTION=VALUE...]");
        }
        const FileKind kind = keyword == "df"        ? FileKind::Dedicated
                              : keyword == "binary"  ? FileKind::Transparent
                              : keyword == "records" ? FileKind::LinearFixed
                                                     : FileKind::Cyclic;
        const bool isDf = kind == FileKind::Dedicated;
        SimFile* file = FileAt(card_.mf, split.head[0], [kind] {
            SimFile made;
            made.kind = kind;
            return made;
        });
        const bool isRecordFile = kind == FileKind::LinearFixed || kind == FileKind::Cyclic;
        const bool fileIsRecordFile =
            file->kind == FileKind::LinearFixed || file->kind == FileKind::Cyclic;
        if (IsDf(*file) != isDf || (!isDf && isRecordFile != fileIsRecordFile)) {
            Fail("'" + std::string(split.head[0]) + "' is a file of another kind");
        }
        if (isRecordFile) {
            file->kind = kind;
        }
        for (const auto& [key, value] :
             Options(split.head.subspan(1),
                     isDf ? std::initializer_list<std::string_view>{"aid"}
                          : std::initializer_list<std::string_view>{"sfi", "read"})) {
            if (key == "aid") {
                file->aid = HexBytes(value);
            } else if (key == "sfi") {
                file->shortId = HexByte(value);
            } else {
                file->read = AccessOf(value);
            }
        }
        if (split.hasValue) {
            if (kind != FileKind::Transparent) {
                Fail("only a binary file takes a value after ':'");
            }
            file->content = ValuesOf(split.value);
        }
        records_ = isRecordFile ? file : nullptr;
        replaceRecords_ = true;
    }

    // One record, or `repeat` numbered records.
    void AddRecords(std::span<const std::string_view> words, std::optional<unsigned> repeat) {
        if (records_ == nullptr) {
            Fail("a record belongs under a 'records' or 'cyclic' statement");
        }
        if (replaceRecords_) {
            records_->records.clear();
            replaceRecords_ = false;
        }
        if (!repeat) {
            records_->records.push_back(ValuesOf(words));
        }
        for (unsigned n = 1; repeat && n <= *repeat; ++n) {
            records_->records.push_back(ValuesOf(words, n));
        }
    }

    void Remove(std::string_view pathText) {
        const std::size_t slash = pathText.rfind('/');
        SimFile* parent = slash == std::string_view::npos
                              ? &card_.mf
                              : FileAt(card_.mf, pathText.substr(0, slash), {});
        const std::uint16_t id = PathOf(pathText).back();
        const auto before = parent->children.size();
        std::erase_if(parent->children, [id](const SimFile& child) { return child.id == id; });
        if (parent->children.size() == before) {
            Fail("no file '" + std::string(pathText) + "' to remove");
        }
    }

    void Answer(std::span<const std::string_view> words) {
        ScriptedAnswer answer;
        if (!words.empty() && words[0].starts_with("times=")) {
            answer.times = static_cast<int>(Number(words[0].substr(6), 1000));
            words = words.subspan(1);
        }
        const Split split = SplitAtColon(words);
        if (!split.hasValue || split.head.empty()) {
            Fail("answer [times=N] COMMAND : RESPONSE");
        }
        answer.command = ValuesOf(split.head);
        answer.response = ValuesOf(split.value);
        answers_.push_back(std::move(answer));
    }

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
        return ValuesOf(Words(tokens));
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
    if (std::optional<CardDescription> card = FindCard(name)) {
        return card;
    }
    const std::filesystem::path file = directory / (std::string(name) + ".card");
    if (!std::filesystem::exists(file)) {
        return std::nullopt;
    }
    return LoadCardFile(file);
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
