// The one operation a live split job needs from the capture side.
#pragma once

#include <memory>

#include "SampleChunk.h"

namespace vornak {

class LiveSource {
  public:
    virtual ~LiveSource() = default;
    // Every chunk queued since the last call, or null once the live stream has ended.
    // May block while it waits for data. Called from the split job's thread only.
    virtual std::unique_ptr<ChunkQueue> TakeChunks() = 0;
};

}  // namespace vornak
