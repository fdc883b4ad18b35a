#include "pcsc/pcsc_resource_manager.h"
#include "win32/system_resource_manager.h"

namespace zebrik::win32 {

std::unique_ptr<ResourceManager> SystemResourceManager() {
    return std::make_unique<PcscResourceManager>();
}

}  // namespace zebrik::win32
