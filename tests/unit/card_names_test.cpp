#include "pcsc/card_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/card_kit.h"

// The card-name query over lists of pcsc-tools' format: small lists with their answers
// (tests/unit/data/card_names.txt), the failures, and the installed list against an oracle
// that reads each pattern as the regular expression pcsc-tools takes it for.
namespace zebrik {
namespace {

// A list file of the test's own, gone with the object.
struct ListFile {
    explicit ListFile(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    ~ListFile() { std::filesystem::remove(path); }
    const std::string path = ::testing::TempDir() + "card_names_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

// The query succeeds with these names as a multi-string in the room offered, and writes
// nothing past it.
void ExpectNames(const std::string& list, const std::string& atr, std::uint32_t room,
                 const std::vector<std::string>& names) {
    std::string expected;
    for (const std::string& name : names) {
        expected += name + '\0';
    }
    expected += '\0';
    std::vector<char> buffer(4096, '#');
    std::uint32_t length = room;
    ASSERT_EQ(ListCardNames(list, sim::Hex(atr), buffer, length), kScardSuccess) << atr;
    EXPECT_EQ(length, expected.size()) << atr;
    expected.resize(buffer.size(), '#');
    ASSERT_EQ(std::string(buffer.data(), buffer.size()), expected) << atr << " in " << room;
}

TEST(CardNameListTest, EveryQueryOfTheListsGivesItsNames) {
    std::ifstream file(ZEBRIK_UNIT_DATA_DIR "/card_names.txt", std::ios::binary);
    std::vector<std::pair<std::string, std::vector<std::string>>> blocks;  // list, queries
    for (std::string line; std::getline(file, line);) {
        // Bytes that are no UTF-8 are written as \xNN (not in the file's head).
        for (std::size_t at; !blocks.empty() && (at = line.find("\\x")) != std::string::npos;) {
            line.replace(at, 4, 1, static_cast<char>(std::stoi(line.substr(at + 2, 2), {}, 16)));
        }
        if (line.starts_with("=== ")) {
            blocks.emplace_back();
        } else if (!blocks.empty() && line.starts_with("?")) {
            blocks.back().second.push_back(line.substr(1));
        } else if (!blocks.empty()) {
            blocks.back().first += (blocks.back().first.empty() ? "" : "\n") + line;
        }
    }
    ASSERT_EQ(blocks.size(), 4u);
    for (const auto& [text, queries] : blocks) {
        const ListFile list(text);  // its last line without a newline: a name there counts
        for (const std::string& query : queries) {
            const std::size_t atr = query.find(' '), arrow = query.find(" =>");
            std::vector<std::string> expected;
            std::istringstream names(query.substr(arrow + 3, query.find("  #") - arrow - 3));
            for (std::string name; std::getline(names >> std::ws, name, '|');) {
                expected.push_back(name.substr(0, name.find_last_not_of(' ') + 1));
            }
            const std::uint32_t room = atr == 0 ? 256 : std::stoul(query.substr(0, atr));
            ExpectNames(list.path, query.substr(atr + 1, arrow - atr - 1), room, expected);
        }
    }
}

TEST(CardNameListTest, NoRoomOrNoListFailsAndWritesNothing) {
    const ListFile list("3B 01\n\tName\n");
    const std::string fifo = ::testing::TempDir() + "card_names_fifo";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::uint32_t> cases[] = {
        {list.path, 0},
        {::testing::TempDir() + "no_such_smartcard_list.txt", 256},
        {::testing::TempDir(), 256},
        {fifo, 256},  // and does not wait for a writer
    };
    for (const auto& [path, offered] : cases) {
        std::array<char, 256> names;
        names.fill('#');
        std::uint32_t length = offered;
        EXPECT_EQ(ListCardNames(path, sim::Hex("3B 01"), names, length),
                  offered == 0 ? kScardEInsufficientBuffer : kScardEUnsupportedFeature);
        EXPECT_EQ(length, offered) << path;
        EXPECT_EQ(std::string(names.data(), names.size()), std::string(names.size(), '#'));
    }
    std::filesystem::remove(fifo);
}

// Each pattern with its wildcards filled in five ways, each ATR with two near misses (a
// digit changed at the end and in the middle).
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
    // Patterns and their names: a tab line names, a blank line ends an entry.
    std::vector<std::pair<std::string, std::vector<std::string>>> entries;
    bool inEntry = false;
    for (std::string line; std::getline(file, line);) {
        const std::size_t first = std::min(line.find_first_not_of(" \t\r"), line.size());
        const std::string text = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        if (line[0] == '\t' && inEntry && !text.empty()) {
            entries.back().second.push_back(text);
        } else if (line[0] != '\t' && (text.empty() || text[0] != '#')) {
            inEntry = !text.empty();
            entries.resize(entries.size() + inEntry, {text, {}});
        }
    }
    std::set<std::string> atrs;
    for (const auto& entry : entries) {
        DeriveAtrs(entry.first, atrs);
    }
    // Each pattern is tried only on the ATRs that begin with its literal start: its
    // upper-case digits and spaces, less the last when a "*" may leave it out.
    std::map<std::string, std::vector<std::string>> names;
    for (const auto& [text, entryNames] : entries) {
        std::size_t literal = std::min(text.find_first_not_of("0123456789ABCDEF "), text.size());
        literal -= literal > 0 && literal < text.size() && text[literal] == '*' ? 1 : 0;
        const std::string start = text.substr(0, literal);
        const std::regex pattern(text, std::regex::ECMAScript | std::regex::icase);
        for (auto atr = atrs.lower_bound(start);
             atr != atrs.end() && atr->compare(0, start.size(), start) == 0; ++atr) {
            if (std::regex_match(*atr, pattern)) {
                names[*atr].insert(names[*atr].end(), entryNames.begin(), entryNames.end());
            }
        }
    }
    const std::size_t named = names.size();
    for (const std::string& atr : atrs) {
        ExpectNames(std::string(kDebianSmartcardList), atr, 4096, names[atr]);
    }
    std::cout << atrs.size() << " ATRs, " << named << " with names\n";
    EXPECT_GT(named, entries.size());
}

}  // namespace
}  // namespace zebrik
