#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/card_file.h"
#include "sim/catalog.h"

// What the unit tests share: where the test cards are, bytes written as text, and the
// files of expected results that ZEBRIK_UPDATE=1 rewrites from the run.
namespace zebrik::testing {

// The test cards (tests/cards); the catalogue holds the demo's.
inline const std::filesystem::path kTestCards = ZEBRIK_TEST_CARD_DIR;

// Bytes as the tests write them: "A0 C0 00 00 0F".
inline std::string SpacedHex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += (text.empty() ? "" : " ");
        text += "0123456789ABCDEF"[byte >> 4];
        text += "0123456789ABCDEF"[byte & 0x0F];
    }
    return text;
}

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Whether the run writes the expected results instead of comparing them.
inline bool Updating() {
    const char* update = std::getenv("ZEBRIK_UPDATE");
    return update != nullptr && std::string_view(update) == "1";
}

// Text of "\r\n" lines as the tables write it: a line each after "| ", or "|" alone.
inline std::string Piped(const std::string& text) {
    std::string lines;
    for (std::size_t at = 0, end = 0; at < text.size(); at = end + 2) {
        end = std::min(text.find("\r\n", at), text.size());
        lines += (end == at ? "|" : "| " + text.substr(at, end - at)) + "\n";
    }
    return lines;
}

// A table of cases must read as its cases render it; ZEBRIK_UPDATE=1 writes it so instead.
inline void ExpectTable(const std::string& path, const std::string& rendered) {
    if (Updating()) {
        std::ofstream(path, std::ios::binary) << rendered;
    } else {
        EXPECT_EQ(FileText(path), rendered) << path;
    }
}

}  // namespace zebrik::testing
