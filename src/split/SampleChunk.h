// Received transport packets handed from the capture pin to a live split job.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

namespace vornak {

// What a chunk holds: a tape may change between HDV and DV while it plays.
enum class ChunkKind : std::uint8_t {
    TransportStream,  // whole 188-byte packets back to back
    Dv,               // exactly one whole DV frame
};

struct SampleChunk {
    std::unique_ptr<std::uint8_t[]> pData;
    std::int32_t cbData = 0;
    ChunkKind kind = ChunkKind::TransportStream;
};

// Newest chunk at the front, oldest at the back.
using ChunkQueue = std::deque<std::unique_ptr<SampleChunk>>;

}  // namespace vornak
