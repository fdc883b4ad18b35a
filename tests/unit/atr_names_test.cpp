#include "core/analysis/atr_names.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
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

std::vector<std::string> NamesFor(const AtrNameDatabase& database, std::string_view atr) {
    std::vector<std::string> names;
    for (const std::string_view name : database.Names(Bytes(atr))) {
        names.emplace_back(name);
    }
    return names;
}

// A list file of our own, written where the test can read it.
class ListFile {
public:
    explicit ListFile(std::string_view text)
        : path_(::testing::TempDir() + "atr_names_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt") {
        Write(text);
    }
    ~ListFile() { std::filesystem::remove(path_); }
    void Write(std::string_view text) const { std::ofstream(path_, std::ios::binary) << text; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

constexpr std::string_view kList =
    "#\n"
    "# a list in the format of smartcard_list.txt\n"
    "#\n"
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

class AtrMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(AtrMatchTest, GivesTheNamesOfEveryMatchingPatternInListOrder) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(kList);
    EXPECT_EQ(NamesFor(database, GetParam().atr), GetParam().names) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    SmallList, AtrMatchTest,
    ::testing::Values(
        MatchCase{"literal, then a later wildcard pattern",
                  "3B 02 14 50",
                  {"Plain card", "http://example.org/plain", "Any four-byte card with 14"}},
        MatchCase{"wildcard before literal keeps list order",
                  "3B 04 A2 13 10 91",
                  {"Any two-wire card ending 91", "The two-wire card"}},
        MatchCase{"wildcard alone", "3B 04 A2 77 66 91", {"Any two-wire card ending 91"}},
        MatchCase{"wildcard needs its fixed digits", "3B 04 A2 77 66 92", {}},
        MatchCase{"range class", "3B 6C 00 00 83", {"Class card"}},
        MatchCase{"list class", "3B 60 00 00 81", {"Class card"}},
        MatchCase{"digit outside the list class", "3B 60 00 00 82", {}},
        MatchCase{
            "comma in a class separates choices", "3B 65 00 00 9C 11 01", {"Comma class card"}},
        MatchCase{"comma never matches a digit", "3B 65 00 00 9C 12 01", {}},
        MatchCase{"lower-case hex in the pattern", "3B 1F 96 AA", {"Lower-case pattern"}},
        MatchCase{"prefix of a pattern does not match", "3B 02 14", {}},
        MatchCase{"pattern as prefix of a longer ATR does not match", "3B 02 14 50 00", {}},
        MatchCase{"star spans several bytes", "3B EF 00 45 01 02 03 38", {"Variable middle"}},
        MatchCase{"star spans one byte", "3B EF 00 45 01 38", {"Variable middle"}},
        MatchCase{"star between spaces needs a byte", "3B EF 00 45 38", {}},
        MatchCase{"trailing star takes nothing", "3B 7F 90 00", {"Variable tail"}},
        MatchCase{"trailing star takes more bytes", "3B 7F 90 00 12 34", {"Variable tail"}},
        MatchCase{"multi-byte name kept as it is",
                  "3B 02 14 35",
                  {"cartão cidadão (eID)", "Any four-byte card with 14"}},
        MatchCase{"nothing matches", "3F 00", {}}, MatchCase{"empty ATR", "", {}}));

TEST(AtrNameListTest, SkipsGarbageLinesAndGoesOn) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(
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
        "3B 01\n"
        "\tLater entry");
    EXPECT_EQ(NamesFor(database, "3B 01"),
              (std::vector<std::string>{"First", "Second", "Third", "Later entry"}));
    EXPECT_EQ(database.PatternCount(), 2u);
}

TEST(AtrNameListTest, ReplacesInvalidUtf8AndControlCharacters) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(
        "3B 01\n"
        "\tLatin-1 \xE9t\xE9\n"
        "\tCut \xE2\x82\n"
        "\tOverlong \xC0\xAF and surrogate \xED\xA0\x80\n"
        "\tEscape \x1B[31m and C1 \xC2\x9B\n"
        "\tTab\tkept, \xE2\x82\xAC kept\n");
    EXPECT_EQ(
        NamesFor(database, "3B 01"),
        (std::vector<std::string>{"Latin-1 \uFFFDt\uFFFD", "Cut \uFFFD\uFFFD",
                                  "Overlong \uFFFD\uFFFD and surrogate \uFFFD\uFFFD\uFFFD",
                                  "Escape \uFFFD[31m and C1 \uFFFD", "Tab\tkept, \u20AC kept"}));
}

struct MultiStringCase {
    const char* what;
    std::vector<std::size_t> nameLengths;
    std::size_t expectedNames;
};

class NameMultiStringTest : public ::testing::TestWithParam<MultiStringCase> {};

TEST_P(NameMultiStringTest, HoldsAsManyWholeNamesAsFitIn256Bytes) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < GetParam().nameLengths.size(); ++i) {
        names.emplace_back(GetParam().nameLengths[i], static_cast<char>('a' + i));
    }
    const std::vector<std::string_view> views(names.begin(), names.end());
    std::array<char, kCardNameListSize + 8> buffer;
    buffer.fill('#');

    const std::size_t used =
        WriteNameMultiString(views, std::span(buffer).first(kCardNameListSize));

    std::string expected;
    std::size_t taken = 0;
    for (const std::string& name : names) {
        if (!name.empty() && taken < GetParam().expectedNames) {
            expected += name + '\0';
            ++taken;
        }
    }
    expected += '\0';
    EXPECT_EQ(std::string(buffer.data(), used), expected) << GetParam().what;
    EXPECT_EQ(std::string(buffer.data() + used, buffer.size() - used),
              std::string(buffer.size() - used, '#'))
        << "nothing written past the multi-string";
}

INSTANTIATE_TEST_SUITE_P(
    Limits, NameMultiStringTest,
    ::testing::Values(MultiStringCase{"no names", {}, 0},
                      MultiStringCase{"one name filling the buffer", {254}, 1},
                      MultiStringCase{"one name a byte too long", {255}, 0},
                      MultiStringCase{"names filling the buffer", {100, 100, 52}, 3},
                      MultiStringCase{"last name a byte too long", {100, 100, 53}, 2},
                      MultiStringCase{
                          "a name that does not fit hides the later ones", {100, 200, 5}, 1},
                      MultiStringCase{"empty names are passed over", {0, 10, 0, 10}, 2}));

TEST(NameMultiStringTest, CountsBytesNotCharacters) {
    std::string name;
    for (int i = 0; i < 84; ++i) {
        name += "\u20AC";  // 3 bytes each: 252 bytes
    }
    const std::array<std::string_view, 2> names = {name, "xy"};
    std::array<char, kCardNameListSize> buffer{};
    EXPECT_EQ(WriteNameMultiString(names, buffer), 254u);
    EXPECT_EQ(std::string(buffer.data()), name);
}

TEST(ListCardNamesTest, WritesNamesAndTheirLength) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(kList);
    std::array<char, kCardNameListSize> names{};
    std::uint32_t length = kCardNameListSize;
    EXPECT_EQ(ListCardNames(&database, Bytes("3B 04 A2 13 10 91"), names, length), kScardSuccess);
    const std::string expected("Any two-wire card ending 91\0The two-wire card\0\0", 47);
    EXPECT_EQ(std::string(names.data(), length), expected);
}

TEST(ListCardNamesTest, AnUnknownAtrGivesAnEmptyList) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(kList);
    std::array<char, kCardNameListSize> names;
    names.fill('#');
    std::uint32_t length = kCardNameListSize;
    EXPECT_EQ(ListCardNames(&database, Bytes("3F 00"), names, length), kScardSuccess);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(names[0], '\0');
    EXPECT_EQ(names[1], '#');
}

TEST(ListCardNamesTest, StaysWithinTheLengthOffered) {
    const AtrNameDatabase database = AtrNameDatabase::Parse(kList);
    std::array<char, kCardNameListSize> names;
    names.fill('#');
    std::uint32_t length = 30;  // room for the first name only
    EXPECT_EQ(ListCardNames(&database, Bytes("3B 04 A2 13 10 91"), names, length), kScardSuccess);
    EXPECT_EQ(length, 29u);
    EXPECT_EQ(names[length], '#');

    length = 0;
    EXPECT_EQ(ListCardNames(&database, Bytes("3B 04 A2 13 10 91"), names, length),
              kScardEInsufficientBuffer);
}

TEST(ListCardNamesTest, FailsWithoutAListAndWritesNothing) {
    LazyAtrNameDatabase lazy(::testing::TempDir() + "no_such_smartcard_list.txt");
    std::array<char, kCardNameListSize> names;
    names.fill('#');
    std::uint32_t length = kCardNameListSize;
    EXPECT_EQ(ListCardNames(lazy.Get(), Bytes("3B 02 14 50"), names, length),
              kScardEUnsupportedFeature);
    EXPECT_EQ(length, kCardNameListSize);
    EXPECT_EQ(std::string(names.data(), names.size()), std::string(names.size(), '#'));
}

TEST(LazyAtrNameDatabaseTest, ReadsTheFileOnFirstUseOnlyUntilForgotten) {
    const ListFile file("3B 01\n\tOld name\n");
    LazyAtrNameDatabase lazy(file.Path());
    file.Write("3B 01\n\tNew name\n");  // not read yet: the new text counts
    ASSERT_NE(lazy.Get(), nullptr);
    EXPECT_EQ(NamesFor(*lazy.Get(), "3B 01"), std::vector<std::string>{"New name"});

    file.Write("3B 01\n\tNewer name\n");  // read once: the database stays
    EXPECT_EQ(NamesFor(*lazy.Get(), "3B 01"), std::vector<std::string>{"New name"});

    lazy.Forget();
    EXPECT_EQ(NamesFor(*lazy.Get(), "3B 01"), std::vector<std::string>{"Newer name"});
}

TEST(LazyAtrNameDatabaseTest, ADirectoryIsNoList) {
    LazyAtrNameDatabase lazy(::testing::TempDir());
    EXPECT_EQ(lazy.Get(), nullptr);
}

// The list pcsc-tools installs: every pattern in it must compile, or its cards lose their
// names without a word.
TEST(InstalledSmartcardListTest, EveryPatternCompiles) {
    std::ifstream file{std::string(kDebianSmartcardList)};
    if (!file) {
        GTEST_SKIP() << "pcsc-tools' list is not installed";
    }
    std::size_t patternLines = 0;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#' && line[0] != '\t') {
            ++patternLines;
        }
    }
    const std::optional<AtrNameDatabase> database =
        AtrNameDatabase::Load(std::string(kDebianSmartcardList));
    ASSERT_TRUE(database.has_value());
    EXPECT_EQ(database->PatternCount(), patternLines);
}

}  // namespace
}  // namespace zebrik
