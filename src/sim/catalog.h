#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"

// The catalogue: the demo's cards, one of each family the analysis reads. The cards of the
// tests are card files (see tests/cards/README.md).
namespace zebrik::sim {

std::vector<CardDescription> AllCards();
std::optional<CardDescription> FindCard(std::string_view name);

// An empty reader with typical attributes, then one reader per catalogue card.
std::vector<SimReader> DemoReaders();

// Each card family contributes its cards in its own file.
void AddZkaCards(std::vector<CardDescription>& cards);
void AddGeneralCards(std::vector<CardDescription>& cards);
void AddGsmCards(std::vector<CardDescription>& cards);
void AddUsimCards(std::vector<CardDescription>& cards);

}  // namespace zebrik::sim
