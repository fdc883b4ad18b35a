// For a build without the PC/SC adapter for Windows: every call fails as a resource
// manager that does not run, so the window says so in its report instead of guessing.
#include "sim/sim_resource_manager.h"
#include "win32/system_resource_manager.h"

namespace zebrik::win32 {

std::unique_ptr<ResourceManager> SystemResourceManager() {
    auto manager = std::make_unique<sim::SimResourceManager>();
    manager->fault = [](sim::Call, std::size_t) { return kScardENoService; };
    return manager;
}

}  // namespace zebrik::win32
