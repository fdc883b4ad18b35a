#include <string.h>  // explicit_bzero

#include "core/ports/pin_prompt.h"

namespace zebrik {

void SecureWipe(void* data, std::size_t size) {
    explicit_bzero(data, size);
}

}  // namespace zebrik
