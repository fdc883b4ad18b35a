#include "sim/catalog.h"

namespace zebrik::sim {

void AddZkaCards(std::vector<CardDescription>& /*cards*/) {}

}  // namespace zebrik::sim
