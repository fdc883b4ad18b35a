#pragma once

#include <memory>

#include "core/ports/resource_manager.h"

namespace zebrik::win32 {

// The machine's smart-card resource manager (WinSCard), for the run without --demo.
std::unique_ptr<ResourceManager> SystemResourceManager();

}  // namespace zebrik::win32
