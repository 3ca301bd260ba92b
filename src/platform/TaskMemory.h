// Task memory: the heap that media-type format blocks and enumerated media types live on, so
// that whoever receives one can free it without knowing who allocated it.
#pragma once

#include <cstddef>

namespace vornak {

// Null when the memory cannot be had (or for 0 bytes).
void* CoTaskMemAlloc(std::size_t bytes);
// Accepts null.
void CoTaskMemFree(void* block);

}  // namespace vornak
