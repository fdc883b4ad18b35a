#include "sim/catalog.h"

namespace zebrik::sim {

void AddGsmCards(std::vector<CardDescription>& /*cards*/) {}

}  // namespace zebrik::sim
