#include "sim/catalog.h"

namespace zebrik::sim {

void AddGeneralCards(std::vector<CardDescription>& /*cards*/) {}

}  // namespace zebrik::sim
