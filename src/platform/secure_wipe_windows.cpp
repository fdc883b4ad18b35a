#include <windows.h>

#include "core/ports/pin_prompt.h"

namespace zebrik {

void SecureWipe(void* data, std::size_t size) {
    SecureZeroMemory(data, size);
}

}  // namespace zebrik
