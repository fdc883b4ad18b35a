#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/card_file.h"
#include "sim/catalog.h"

// What the unit tests share: the simulated cards by name and commands written as text.
namespace zebrik::testing {

// The test cards (tests/cards); the catalogue holds the demo's.
inline const std::filesystem::path kTestCards = ZEBRIK_TEST_CARD_DIR;

// A catalogue card or a test card; fails the test when there is none.
inline sim::CardDescription Card(std::string_view name) {
    std::optional<sim::CardDescription> card = sim::FindCard(name, kTestCards);
    if (!card) {
        ADD_FAILURE() << "no card \"" << name << "\" in the catalogue or in " << kTestCards;
    }
    return card.value_or(sim::CardDescription{});
}

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

}  // namespace zebrik::testing
