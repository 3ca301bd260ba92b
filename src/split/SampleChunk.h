// Received transport packets handed from the capture pin to a live split job.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

namespace vornak {

struct SampleChunk {
    std::unique_ptr<std::uint8_t[]> pData;  // whole 188-byte packets back to back
    std::int32_t cbData = 0;
};

// Newest chunk at the front, oldest at the back.
using ChunkQueue = std::deque<std::unique_ptr<SampleChunk>>;

}  // namespace vornak
