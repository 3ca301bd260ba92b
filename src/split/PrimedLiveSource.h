// A live stream whose first batch has been taken already, to see what it holds before a job
// for it is chosen: the job gets that batch first, then the stream as it goes on.
#pragma once

#include <memory>
#include <utility>

#include "LiveSource.h"

namespace vornak {

class PrimedLiveSource final : public LiveSource {
  public:
    PrimedLiveSource(LiveSource* source, std::unique_ptr<ChunkQueue> first)
        : m_pSource(source), m_first(std::move(first)) {}

    std::unique_ptr<ChunkQueue> TakeChunks() override {
        if (m_first) {
            return std::move(m_first);
        }
        return m_pSource->TakeChunks();
    }

  private:
    LiveSource* m_pSource;
    std::unique_ptr<ChunkQueue> m_first;
};

}  // namespace vornak
