#include "TaskMemory.h"

#include <cstdlib>

namespace vornak {

void* CoTaskMemAlloc(std::size_t bytes) {
    return bytes == 0 ? nullptr : std::malloc(bytes);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

}  // namespace vornak
