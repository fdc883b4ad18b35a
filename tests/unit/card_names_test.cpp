#include "pcsc/card_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace zebrik {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in{std::string(hex)};
    unsigned value = 0;
    while (in >> std::hex >> value) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

// A list file of the test's own.
class ListFile {
public:
    explicit ListFile(std::string_view text) : path_(::testing::TempDir() + "card_names_list") {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '_');
        path_ += test + ".txt";
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~ListFile() { std::filesystem::remove(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The names of a query that must succeed, taken from the multi-string.
std::vector<std::string> NamesFor(const std::string& list, std::string_view atr,
                                  std::size_t room = 256) {
    std::vector<char> buffer(room);
    auto length = static_cast<std::uint32_t>(room);
    EXPECT_EQ(ListCardNames(list, Bytes(atr), buffer, length), kScardSuccess) << atr;
    std::vector<std::string> names;
    for (std::size_t at = 0; at < length && buffer[at] != '\0';) {
        names.emplace_back(buffer.data() + at);
        at += names.back().size() + 1;
    }
    return names;
}

constexpr std::string_view kList =
    "# a list in the format of smartcard_list.txt\n"
    "\n"
    "3B 02 14 50\n"
    "\tPlain card\n"
    "\thttp://example.org/plain\n"
    "\n"
    "3B 04 A2 .. .. 91\n"
    "\tAny two-wire card ending 91\n"
    "\n"
    "3B 04 A2 13 10 91\n"
    "\tThe two-wire card\n"
    "\n"
    "3B 6[0-9A-F] 00 00 8[13]\n"
    "\tClass card\n"
    "\n"
    "3B 65 00 00 9C 1[0,1] 01\n"
    "\tComma class card\n"
    "\n"
    "3b 1f 96 aa\n"
    "\tLower-case pattern\n"
    "\n"
    "3B EF 00 45 .* 38\n"
    "\tVariable middle\n"
    "\n"
    "3B 7F 90 00.*\n"
    "\tVariable tail\n"
    "\n"
    "3B 02 14 35\n"
    "\tcartão cidadão (eID)\n"
    "\n"
    "3B .. 14 ..\n"
    "\tAny four-byte card with 14\n";

struct MatchCase {
    const char* what;
    const char* atr;
    std::vector<std::string> names;
};

class CardNameMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(CardNameMatchTest, GivesTheNamesOfEveryPatternMatchingTheWholeAtrInListOrder) {
    const ListFile list(kList);
    EXPECT_EQ(NamesFor(list.Path(), GetParam().atr), GetParam().names) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    SmallList, CardNameMatchTest,
    ::testing::Values(
        MatchCase{"literal, then a later wildcard pattern",
                  "3B 02 14 50",
                  {"Plain card", "http://example.org/plain", "Any four-byte card with 14"}},
        MatchCase{"wildcard before literal keeps list order",
                  "3B 04 A2 13 10 91",
                  {"Any two-wire card ending 91", "The two-wire card"}},
        MatchCase{"wildcard needs its fixed digits", "3B 04 A2 77 66 92", {}},
        MatchCase{"range class", "3B 6C 00 00 83", {"Class card"}},
        MatchCase{"digit outside the list class", "3B 60 00 00 82", {}},
        MatchCase{
            "comma in a class separates choices", "3B 65 00 00 9C 11 01", {"Comma class card"}},
        MatchCase{"comma never matches a digit", "3B 65 00 00 9C 12 01", {}},
        MatchCase{"lower-case hex in the pattern", "3B 1F 96 AA", {"Lower-case pattern"}},
        MatchCase{"prefix of a pattern does not match", "3B 02 14", {}},
        MatchCase{"pattern as prefix of a longer ATR does not match", "3B 02 14 50 00", {}},
        MatchCase{"star spans several bytes", "3B EF 00 45 01 02 03 38", {"Variable middle"}},
        MatchCase{"star between spaces needs a byte", "3B EF 00 45 38", {}},
        MatchCase{"trailing star takes nothing", "3B 7F 90 00", {"Variable tail"}},
        MatchCase{"trailing star takes more bytes", "3B 7F 90 00 12 34", {"Variable tail"}},
        MatchCase{"multi-byte name kept as it is",
                  "3B 02 14 35",
                  {"cartão cidadão (eID)", "Any four-byte card with 14"}},
        MatchCase{"empty ATR", "", {}}));

TEST(CardNameListTest, PassesOverWhatIsNoEntryAndDropsTheNamesOfBrokenPatterns) {
    const ListFile list(
        "\tName before any pattern\n"
        "this is not a pattern\n"
        "\tName under garbage\n"
        "3B ZZ 00\n"
        "\tName under a bad byte\n"
        "3B [13 00\n"
        "\tName under an open class\n"
        "3B [9-1] 00\n"
        "\tName under a reversed range\n"
        "3B 00 **\n"
        "\tName under a double star\n"
        "\n"
        "3B 01\r\n"
        "\tFirst\r\n"
        "  mis-indented line\n"
        "# a comment inside the entry\n"
        "\tSecond  \n"
        "\t\n"
        "\tThird\n"
        "\n"
        "\tName after the blank line\n"
        "3B 01 \n"
        "\tLater entry");
    EXPECT_EQ(NamesFor(list.Path(), "3B 01"),
              (std::vector<std::string>{"First", "Second", "Third", "Later entry"}));
}

TEST(CardNameListTest, ReplacesInvalidUtf8AndControlCharacters) {
    const ListFile list(
        "3B 01\n"
        "\tLatin-1 \xE9t\xE9\n"
        "\tCut \xE2\x82\n"
        "\tOverlong \xC0\xAF and surrogate \xED\xA0\x80\n"
        "\tEscape \x1B[31m and C1 \xC2\x9B\n"
        "\tTab\tkept, \xE2\x82\xAC kept\n");
    EXPECT_EQ(
        NamesFor(list.Path(), "3B 01"),
        (std::vector<std::string>{"Latin-1 \uFFFDt\uFFFD", "Cut \uFFFD\uFFFD",
                                  "Overlong \uFFFD\uFFFD and surrogate \uFFFD\uFFFD\uFFFD",
                                  "Escape \uFFFD[31m and C1 \uFFFD", "Tab\tkept, \u20AC kept"}));
}

struct RoomCase {
    const char* what;
    std::vector<std::string> names;
    std::uint32_t offered;
    std::size_t expectedNames;
};

class CardNameRoomTest : public ::testing::TestWithParam<RoomCase> {};

TEST_P(CardNameRoomTest, HoldsAsManyWholeNamesAsFitInTheRoomOffered) {
    std::string text = "3B 01\n";
    for (const std::string& name : GetParam().names) {
        text += "\t" + name + "\n";
    }
    const ListFile list(text);
    std::array<char, 264> buffer;
    buffer.fill('#');
    std::uint32_t length = GetParam().offered;

    ASSERT_EQ(ListCardNames(list.Path(), Bytes("3B 01"), std::span(buffer).first(256), length),
              kScardSuccess);

    std::string expected;
    for (std::size_t i = 0; i < GetParam().expectedNames; ++i) {
        expected += GetParam().names[i] + '\0';
    }
    expected += '\0';
    EXPECT_EQ(std::string(buffer.data(), length), expected) << GetParam().what;
    EXPECT_EQ(std::string(buffer.data() + length, buffer.size() - length),
              std::string(buffer.size() - length, '#'))
        << GetParam().what << ": nothing written past the names";
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CardNameRoomTest,
    ::testing::Values(RoomCase{"no names", {}, 256, 0},
                      RoomCase{"one name filling the room", {std::string(254, 'a')}, 256, 1},
                      RoomCase{"one name a byte too long", {std::string(255, 'a')}, 256, 0},
                      RoomCase{"names filling the room",
                               {std::string(100, 'a'), std::string(100, 'b'), std::string(52, 'c')},
                               256,
                               3},
                      RoomCase{"last name a byte too long",
                               {std::string(100, 'a'), std::string(100, 'b'), std::string(53, 'c')},
                               256,
                               2},
                      RoomCase{"a name that does not fit hides the later ones",
                               {std::string(100, 'a'), std::string(200, 'b'), "c"},
                               256,
                               1},
                      RoomCase{"bytes count, not characters",
                               {"\u20AC\u20AC\u20AC\u20AC\u20AC\u20AC\u20AC\u20AC\u20AC\u20AC" +
                                    std::string(222, 'a'),  // 252 bytes, 232 characters
                                "xy"},
                               256,
                               1},
                      RoomCase{"the length offered is the room when the span holds more",
                               {std::string(27, 'a'), "b"},
                               30,
                               1},
                      RoomCase{"the room counts the name as shown, bad bytes replaced",
                               {std::string(84, '\xE9')},
                               253,
                               0}));

TEST(CardNameQueryTest, FailsWithoutRoomAndWithoutAListWritingNothing) {
    const ListFile list("3B 01\n\tName\n");
    const std::string fifo = ::testing::TempDir() + "card_names_fifo";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::uint32_t offered;
        ResultCode code;
    };
    const Case cases[] = {
        {list.Path(), 0, kScardEInsufficientBuffer},
        {::testing::TempDir() + "no_such_smartcard_list.txt", 256, kScardEUnsupportedFeature},
        {::testing::TempDir(), 256, kScardEUnsupportedFeature},
        {fifo, 256, kScardEUnsupportedFeature},  // and does not wait for a writer
    };
    for (const Case& test : cases) {
        std::array<char, 256> names;
        names.fill('#');
        std::uint32_t length = test.offered;
        EXPECT_EQ(ListCardNames(test.path, Bytes("3B 01"), names, length), test.code) << test.path;
        EXPECT_EQ(length, test.offered) << test.path;
        EXPECT_EQ(std::string(names.data(), names.size()), std::string(names.size(), '#'))
            << test.path;
    }
    std::filesystem::remove(fifo);
}

// The installed list against an oracle of its own: every pattern as a regular expression
// over the ATR's text, as pcsc-tools matches it, tried on ATRs derived from every pattern.
struct OracleEntry {
    std::string pattern;
    std::vector<std::string> names;
};

std::vector<OracleEntry> ReadEntries(std::istream& in) {
    std::vector<OracleEntry> entries;
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        const std::string text =
            first == std::string::npos
                ? ""
                : line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        if (line[0] == '\t') {
            if (inEntry && !text.empty()) {
                entries.back().names.push_back(text);
            }
        } else if (text.empty()) {
            inEntry = false;
        } else if (text[0] != '#') {
            entries.push_back({text, {}});
            inEntry = true;
        }
    }
    return entries;
}

// The pattern's wildcards filled in five ways, each ATR with two near misses (a digit
// changed at the end and in the middle).
void DeriveAtrs(const std::string& pattern, std::set<std::string>& atrs) {
    static const std::regex kAtrText("[0-9A-F]{2}( [0-9A-F]{2})*");
    for (std::size_t way = 0; way < 5; ++way) {
        std::string text;
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern.compare(i, 2, ".*") == 0) {
                text += std::array{"", "12", " 12 34", "56 78", " 9A"}[way];
                ++i;
            } else if (pattern[i] == '.') {
                text += "0F5A3C9E"[(way * 3 + i) % 8];
            } else if (pattern[i] == '[') {
                const std::size_t close = pattern.find(']', i);
                std::string members = pattern.substr(i + 1, close - i - 1);
                std::erase_if(members, [](unsigned char c) { return !std::isxdigit(c); });
                text += members.empty() ? '?' : members[way % members.size()];
                i = close;
            } else {
                text += static_cast<char>(std::toupper(static_cast<unsigned char>(pattern[i])));
            }
        }
        if (std::regex_match(text, kAtrText)) {
            atrs.insert(text);
            for (const std::size_t at : {text.size() - 1, text.size() / 6 * 3 + 1}) {
                std::string changed = text;
                changed[at] = "123456789ABCDEF0"[std::stoi(changed.substr(at, 1), nullptr, 16)];
                atrs.insert(changed);
            }
        }
    }
}

TEST(InstalledSmartcardListTest, GivesTheNamesItsPatternsGiveAsRegularExpressions) {
    std::ifstream file{std::string(kDebianSmartcardList)};
    if (!file) {
        GTEST_SKIP() << "pcsc-tools' list is not installed";
    }
    const std::vector<OracleEntry> entries = ReadEntries(file);
    std::set<std::string> atrs;
    for (const OracleEntry& entry : entries) {
        DeriveAtrs(entry.pattern, atrs);
    }

    // Each pattern is tried only on the ATRs that begin with its literal start: its
    // upper-case digits and spaces, less the last when a "*" may leave it out.
    std::map<std::string, std::vector<std::size_t>> matching;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string& text = entries[index].pattern;
        std::size_t literal = std::min(text.find_first_not_of("0123456789ABCDEF "), text.size());
        literal -= literal > 0 && literal < text.size() && text[literal] == '*' ? 1 : 0;
        const std::string start = text.substr(0, literal);
        const std::regex pattern(text, std::regex::ECMAScript | std::regex::icase);
        for (auto atr = atrs.lower_bound(start);
             atr != atrs.end() && atr->compare(0, start.size(), start) == 0; ++atr) {
            if (std::regex_match(*atr, pattern)) {
                matching[*atr].push_back(index);
            }
        }
    }

    std::size_t named = 0;
    for (const std::string& atr : atrs) {
        std::vector<std::string> expected;
        for (const std::size_t index : matching[atr]) {
            expected.insert(expected.end(), entries[index].names.begin(),
                            entries[index].names.end());
        }
        named += expected.empty() ? 0 : 1;
        ASSERT_EQ(NamesFor(std::string(kDebianSmartcardList), atr, 4096), expected) << atr;
    }
    std::cout << atrs.size() << " ATRs, " << named << " with names\n";
    EXPECT_GT(named, entries.size());
}

}  // namespace
}  // namespace zebrik
