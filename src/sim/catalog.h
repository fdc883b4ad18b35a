#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"

// The named cards of the kit, shared by the demo, the end-to-end tests and the benchmarks.
namespace zebrik::sim {

std::vector<CardDescription> AllCards();
std::optional<CardDescription> FindCard(std::string_view name);

// An empty reader with typical attributes, then one reader per demo card.
std::vector<SimReader> DemoReaders();

// Each card family contributes its cards in its own file.
void AddZkaCards(std::vector<CardDescription>& cards);
void AddGeneralCards(std::vector<CardDescription>& cards);
void AddGsmCards(std::vector<CardDescription>& cards);
void AddOtherCards(std::vector<CardDescription>& cards);

}  // namespace zebrik::sim
