// Old matcher against the new lookup, over every ATR derived from the installed list.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/analysis/atr_names.h"

namespace zebrik {
ResultCode ListCardNames(const std::string& listPath, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length);
namespace {

bool IsAtrText(const std::string& text) {
    if ((text.size() + 1) % 3 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2 ? c != ' ' : !std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size() + 1; i += 3) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Each pattern's wildcards filled in a few ways, and one digit changed.
void Derive(const std::string& pattern, std::set<std::string>& atrs) {
    static const char* const kStarFills[] = {"", "12", " 12 34", "56 78", " 9A"};
    for (int way = 0; way < 5; ++way) {
        std::string text;
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            const char c = pattern[i];
            if (c == '.' && i + 1 < pattern.size() && pattern[i + 1] == '*') {
                text += kStarFills[way];
                ++i;
            } else if (c == '.') {
                text += "0F5A3C9E"[(way * 3 + i) % 8];
            } else if (c == '[') {
                const std::size_t close = pattern.find(']', i);
                std::string members;
                for (std::size_t k = i + 1; k < close; ++k) {
                    if (std::isxdigit(static_cast<unsigned char>(pattern[k]))) {
                        members += static_cast<char>(std::toupper(pattern[k]));
                    }
                }
                text +=
                    members.empty() ? 'X' : members[static_cast<std::size_t>(way) % members.size()];
                i = close;
            } else {
                text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        if (IsAtrText(text)) {
            atrs.insert(text);
            // Near misses: one digit changed, the last or one in the middle.
            for (const std::size_t at : {text.size() - 1, (text.size() / 6) * 3 + 1}) {
                std::string changed = text;
                char& digit = changed[at];
                digit = digit == 'F' ? '0' : digit == '9' ? 'A' : static_cast<char>(digit + 1);
                atrs.insert(changed);
            }
        }
    }
}

TEST(CardNamesCompare, OldAndNewGiveTheSameNamesForEveryDerivedAtr) {
    const std::string path(kDebianSmartcardList);
    std::ifstream file(path);
    std::set<std::string> atrs;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#' && line[0] != '\t') {
            Derive(line, atrs);
        }
    }
    const auto database = AtrNameDatabase::Load(path);
    ASSERT_TRUE(database);
    std::size_t compared = 0, named = 0;
    for (const std::string& text : atrs) {
        const std::vector<std::uint8_t> atr = Bytes(text);
        std::string oldAll;
        for (const std::string_view name : database->Names(atr)) {
            oldAll.append(name);
            oldAll.push_back('\0');
        }
        oldAll.push_back('\0');
        std::vector<char> buffer(1 << 16);
        std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
        ASSERT_EQ(ListCardNames(path, atr, buffer, length), kScardSuccess);
        EXPECT_EQ(std::string(buffer.data(), length), oldAll) << text;

        std::array<char, 256> oldRoom{}, newRoom{};
        std::uint32_t oldLength = 256, newLength = 256;
        ASSERT_EQ(ListCardNames(&*database, atr, oldRoom, oldLength), kScardSuccess);
        ASSERT_EQ(ListCardNames(path, atr, newRoom, newLength), kScardSuccess);
        EXPECT_EQ(std::string(newRoom.data(), newLength), std::string(oldRoom.data(), oldLength))
            << text;
        ++compared;
        named += oldLength > 1;
    }
    std::printf("compared %zu ATRs, %zu with names\n", compared, named);
}

}  // namespace
}  // namespace zebrik
