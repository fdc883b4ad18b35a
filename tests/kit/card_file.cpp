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

using Words = std::span<const std::string_view>;
constexpr std::string_view kBlanks = " \t\r";

// A mistake, about `word` if given; the reader adds file and line. GsmText and
// DiallingNumber throw std::invalid_argument, a CardFileError too.
void Require(bool kept, std::string_view mistake, std::string_view word = {}) {
    if (!kept) {
        throw CardFileError((word.empty() ? "" : "'" + std::string(word) + "' ") +
                            std::string(mistake));
    }
}

unsigned Number(std::string_view text, unsigned max, int base = 10) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    Require(error == std::errc() && end == text.data() + text.size() && value <= max,
            base == 16 ? "is not hex" : "is no number in the range the statement takes", text);
    return value;
}

std::uint8_t HexByte(std::string_view text) {
    Require(text.size() == 2, "is not one byte of two hex digits", text);
    return static_cast<std::uint8_t>(Number(text, 0xFF, 16));
}

Bytes HexBytes(std::string_view text) {
    Require(!text.empty() && text.size() % 2 == 0, "is not hex, two digits a byte", text);
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(HexByte(text.substr(i, 2)));
    }
    return bytes;
}

// Quoted text as written: \xHH escapes resolved, %d or %0Kd replaced by the number of a
// repeated record.
std::string Unquoted(std::string_view text, std::optional<unsigned> number) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            Require(text.substr(i + 1, 1) == "x", "has an escape other than \\xHH", text);
            out += static_cast<char>(HexByte(text.substr(i + 2, 2)));
            i += 3;
        } else if (text[i] == '%') {
            const std::size_t d = text.find('d', i);
            const std::string_view width = text.substr(i + 1, d - i - 1);
            Require(number && d != text.npos && (width.empty() || width[0] == '0'),
                    "'%' is %d or %0Kd, and only in a repeated record");
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
    const std::size_t quote = token.find('"'), star = token.find('*');
    if (quote == token.npos) {
        return star == token.npos
                   ? HexBytes(token)
                   : Bytes(Number(token.substr(star + 1), 4096), HexByte(token.substr(0, star)));
    }
    const std::size_t close = token.rfind('"');
    const std::string_view kind = token.substr(0, quote), rest = token.substr(close + 1);
    const std::string text = Unquoted(token.substr(quote + 1, close - quote - 1), number);
    Require(kind == "gsm" || kind == "tel" ||
                (kind.empty() && std::ranges::all_of(token, [](char c) { return c >= 0x20; })),
            "is no text of a kind known (plain ASCII, gsm or tel)", token);
    Bytes bytes = kind == "gsm"   ? GsmText(text)
                  : kind == "tel" ? DiallingNumber(text)
                                  : Bytes(text.begin(), text.end());
    if (!rest.empty()) {
        const unsigned length = rest[0] == '/' ? Number(rest.substr(1), 256) : 0;
        Require(rest[0] == '/' && bytes.size() <= length, "does not fit its length", token);
        bytes.resize(length, kind == "gsm" ? 0xFF : 0x20);
    }
    return bytes;
}

// A statement split into words; quoted text stays one word, a '#' outside quotes ends it.
std::vector<std::string_view> WordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t start = 0, end = 0;
         (start = line.find_first_not_of(kBlanks, end)) != line.npos && line[start] != '#';) {
        bool quoted = false;
        for (end = start; end < line.size() && (quoted || kBlanks.find(line[end]) == kBlanks.npos);
             ++end) {
            quoted ^= line[end] == '"';
        }
        Require(!quoted, "has no closing quote", line.substr(start, end - start));
        words.push_back(line.substr(start, end - start));
    }
    return words;
}

Bytes ValuesOf(Words words, std::optional<unsigned> number = {}) {
    Bytes bytes;
    for (const std::string_view word : words) {
        const Bytes part = ValueOf(word, number);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

// The words of a statement before a ':' and the bytes after it, if there is one.
std::pair<Words, std::optional<Bytes>> SplitAtColon(Words words) {
    const auto colon = std::ranges::find(words, ":");
    if (colon == words.end()) {
        return {words, std::nullopt};
    }
    return {Words(words.begin(), colon), ValuesOf({colon + 1, words.end()})};
}

std::vector<std::pair<std::string_view, std::string_view>> OptionsOf(
    Words words, std::initializer_list<std::string_view> keys) {
    std::vector<std::pair<std::string_view, std::string_view>> options;
    for (const std::string_view word : words) {
        const std::size_t equals = word.find('=');
        Require(equals != word.npos && std::ranges::count(keys, word.substr(0, equals)) == 1,
                "is no option this statement takes", word);
        options.emplace_back(word.substr(0, equals), word.substr(equals + 1));
    }
    return options;
}

template <typename T>
T Pick(std::string_view word, std::initializer_list<std::pair<std::string_view, T>> choices) {
    const auto chosen = std::ranges::find(choices, word, &std::pair<std::string_view, T>::first);
    Require(chosen != choices.end(), "is none of the values this statement takes", word);
    return chosen->second;
}

std::string_view OneWord(Words words) {
    Require(words.size() == 1, "one word expected");
    return words[0];
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
    if (path == "3F00") {
        return mf;
    }
    const std::size_t slash = path.rfind('/');
    SimFile& df = FileAt(mf, slash == path.npos ? "3F00" : path.substr(0, slash));
    const std::string_view name = path.substr(slash + 1);
    Require(name.size() == 4 && name != "3F00" && IsDf(df),
            "is no path of DFs and a file below the MF", path);
    const auto id = static_cast<std::uint16_t>(Number(name, 0xFFFF, 16));
    const auto file = std::ranges::find(df.children, id, &SimFile::id);
    if (file != df.children.end()) {
        return *file;
    }
    Require(create.has_value(), "names no file", path);
    df.children.emplace_back().id = id;
    df.children.back().kind = *create;
    return df.children.back();
}

std::string TextOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Require(in.good(), "cannot be read", path.string());
    return {std::istreambuf_iterator<char>(in), {}};
}

class CardReader {
public:
    CardReader(std::string_view origin, const std::filesystem::path& directory, int depth)
        : origin_(origin), directory_(directory), depth_(depth) {}

    CardDescription Read(std::string_view text, std::string name) {
        std::istringstream lines{std::string(text)};
        bool hasTitle = false, hasAtr = false;
        int number = 0, statements = 0;
        for (std::string line; std::getline(lines, line); ++number) {
            try {
                const std::vector<std::string_view> words = WordsOf(line);
                if (words.empty()) {
                    continue;
                }
                Require(words[0] != "base" || (statements == 0 && words.size() == 2),
                        "'base NAME' comes once, before everything else");
                hasTitle |= words[0] == "title";
                hasAtr |= words[0] == "atr" || words[0] == "base";
                Statement(line, words[0], Words(words).subspan(1));
                ++statements;
            } catch (const CardFileError& mistake) {
                throw CardFileError(std::string(origin_) + ":" + std::to_string(number + 1) + ": " +
                                    mistake.what());
            }
        }
        Require(hasTitle && hasAtr, "has no title or no ATR", origin_);
        card_.name = std::move(name);
        return std::move(card_);
    }

private:
    void Statement(std::string_view line, std::string_view keyword, Words rest) {
        SimFile* const records = std::exchange(records_, nullptr);
        if (keyword == "base") {
            card_ = Base(rest[0]);
        } else if (keyword == "title") {
            const std::size_t start = line.find_first_not_of(" \t", line.find("title") + 5);
            card_.title = start == line.npos ? "" : line.substr(start);
            card_.title.erase(card_.title.find_last_not_of('\r') + 1);
        } else if (keyword == "atr") {
            card_.atr = ValuesOf(rest);
        } else if (keyword == "protocol") {
            card_.protocol =
                Pick<std::uint32_t>(OneWord(rest), {{"T=0", kProtocolT0}, {"T=1", kProtocolT1}});
        } else if (keyword == "classes") {
            card_.classes.assign(rest.size(), 0);
            std::ranges::transform(rest, card_.classes.begin(), HexByte);
        } else if (keyword == "pin-query") {
            card_.chv1Enabled = Pick<bool>(OneWord(rest), {{"on", true}, {"off", false}});
        } else if (keyword == "chv1") {
            for (const auto& [key, value] : OptionsOf(rest, {"pin", "puk", "tries", "puk-tries"})) {
                if (key.ends_with("tries")) {
                    (key == "tries" ? card_.chv1.attempts : card_.chv1.unblockAttempts) =
                        static_cast<std::uint8_t>(Number(value, 15));
                } else {
                    (key == "pin" ? card_.chv1.code : card_.chv1.unblockCode) = ChvCode(value);
                }
            }
        } else if (keyword == "df" || keyword == "binary" || keyword == "records" ||
                   keyword == "cyclic") {
            FileStatement(keyword, rest);
        } else if (keyword == "record" || keyword == "repeat") {
            Require(records != nullptr, "a record belongs under a 'records' or 'cyclic' statement");
            records_ = records;
            const bool repeated = keyword == "repeat";
            Require(!repeated || (rest.size() >= 2 && rest[1] == "record"),
                    "repeat N record VALUE...");
            for (unsigned n = 1, count = repeated ? Number(rest[0], 1000) : 1; n <= count; ++n) {
                records->records.push_back(repeated ? ValuesOf(rest.subspan(2), n)
                                                    : ValuesOf(rest));
            }
        } else if (keyword == "select-data" || keyword == "select-status") {
            const auto [head, value] = SplitAtColon(rest);
            Require(head.size() == 1 && value && (keyword == "select-data" || value->size() == 2),
                    "PATH : VALUE (a status word: two bytes) expected");
            SimFile& file = FileAt(card_.mf, head[0]);
            if (keyword == "select-data") {
                file.selectResponse = *value;
            } else {
                file.selectStatus = static_cast<std::uint16_t>((*value)[0] << 8 | (*value)[1]);
            }
        } else if (keyword == "remove") {
            const std::string_view path = OneWord(rest);
            const std::size_t slash = path.rfind('/');
            const std::uint16_t id = FileAt(card_.mf, path).id;
            std::erase_if(
                FileAt(card_.mf, slash == path.npos ? "3F00" : path.substr(0, slash)).children,
                [id](const SimFile& file) { return file.id == id; });
        } else if (keyword == "answer") {
            const bool counted = !rest.empty() && rest[0].starts_with("times=");
            const auto [head, value] = SplitAtColon(rest.subspan(counted ? 1 : 0));
            Require(!head.empty() && value.has_value(), "answer [times=N] COMMAND : RESPONSE");
            card_.scripted.insert(
                card_.scripted.begin() + ownAnswers_++,
                {ValuesOf(head), *value,
                 counted ? static_cast<int>(Number(rest[0].substr(6), 1000)) : -1});
        } else {
            Require(false, "is no statement", keyword);
        }
    }

    CardDescription Base(std::string_view name) {
        Require(depth_ < 8, "bases nest deeper than 8 (a card that is its own base?)");
        if (std::optional<CardDescription> card = FindCard(name)) {
            return std::move(*card);
        }
        const std::filesystem::path file = directory_ / (std::string(name) + ".card");
        Require(std::filesystem::exists(file), "is no card beside this one nor in the catalogue",
                name);
        return CardReader(file.string(), directory_, depth_ + 1)
            .Read(TextOf(file), std::string(name));
    }

    void FileStatement(std::string_view keyword, Words words) {
        const auto [head, value] = SplitAtColon(words);
        const FileKind kind = Pick<FileKind>(keyword, {{"df", FileKind::Dedicated},
                                                       {"binary", FileKind::Transparent},
                                                       {"records", FileKind::LinearFixed},
                                                       {"cyclic", FileKind::Cyclic}});
        Require(!head.empty() && (!value || kind == FileKind::Transparent),
                "PATH [OPTION=VALUE...] expected, ': VALUE' after binary only");
        SimFile& file = FileAt(card_.mf, head[0], kind);
        Require(IsDf(file) == (kind == FileKind::Dedicated) &&
                    IsRecordFile(file.kind) == IsRecordFile(kind),
                "is a file of another kind", head[0]);
        const Words options = head.subspan(1);
        for (const auto& [key, option] :
             IsDf(file) ? OptionsOf(options, {"aid"}) : OptionsOf(options, {"sfi", "read"})) {
            if (key == "aid") {
                file.aid = HexBytes(option);
            } else if (key == "sfi") {
                file.shortId = HexByte(option);
            } else {
                file.read = Pick<Access>(
                    option,
                    {{"always", Access::Always}, {"chv1", Access::Chv1}, {"never", Access::Never}});
            }
        }
        if (value) {
            file.content = *value;
        }
        if (IsRecordFile(kind)) {
            file.kind = kind;
            file.records.clear();
            records_ = &file;
        }
    }

    std::string_view origin_;
    std::filesystem::path directory_;
    int depth_;
    CardDescription card_;
    int ownAnswers_ = 0;          // they come before those of the base, in the order written
    SimFile* records_ = nullptr;  // the record file that `record` lines fill
};

}  // namespace

Bytes ValueBytes(std::string_view tokens) {
    return ValuesOf(WordsOf(tokens));
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
    const std::set<std::filesystem::path> files(std::filesystem::directory_iterator(directory), {});
    for (const std::filesystem::path& file : files) {
        if (file.extension() != ".card") {
            continue;
        }
        cards.push_back(LoadCardFile(file));
        Require(!FindCard(cards.back().name), "has the name of a catalogue card", file.string());
    }
    return cards;
}

}  // namespace zebrik::sim
