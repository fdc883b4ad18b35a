#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_card.h"

// Simulated cards as text files (NAME.card), one statement a line; the format is described
// in tests/cards/README.md.
namespace zebrik::sim {

// A mistake in a card file: "FILE:LINE: what", each base it came through in front.
using CardFileError = std::invalid_argument;

// Reads the card file; its name is the file's stem. Throws CardFileError.
CardDescription LoadCardFile(const std::filesystem::path& path);

// Reads card statements from a text; `origin` names it in messages, `directory` is where
// a base is looked for. Throws CardFileError.
CardDescription ParseCardText(std::string_view text, std::string_view origin, std::string name,
                              const std::filesystem::path& directory);

// A catalogue card, else the card of NAME.card in `directory`.
std::optional<CardDescription> FindCard(std::string_view name,
                                        const std::filesystem::path& directory);

// The catalogue's cards, then the card of every *.card file in `directory` by name.
std::vector<CardDescription> AllCards(const std::filesystem::path& directory);

// Value tokens as a card file writes them ("3B 02", "\"Bank\"/20"). Throws CardFileError.
Bytes ValueBytes(std::string_view tokens);

}  // namespace zebrik::sim
