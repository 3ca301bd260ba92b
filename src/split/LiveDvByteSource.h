// A live run's DV frames as the DV scene job reads them: the frames the capture pin queued,
// handed out in order as a raw DV file would be, without waiting for a whole read's worth
// (the job writes what has come while the tape plays). The live stream's end is the file's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DvByteSource.h"
#include "LiveSource.h"

namespace vornak {

class LiveDvByteSource final : public DvByteSource {
  public:
    // `source` must outlive the byte source; it is read from the job's thread only.
    explicit LiveDvByteSource(LiveSource* source) : m_pSource(source) {}

    InputFile::OpenResult Open(const std::string&) override {
        return InputFile::OpenResult::Opened;
    }
    // Waits only while nothing has come: Ok with what the queue held, EndOfFile once the
    // stream has ended and everything is handed out.
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override;
    void Close() override { m_batch.reset(); }
    bool IsFile() const override { return false; }

  private:
    LiveSource* m_pSource;
    std::unique_ptr<ChunkQueue> m_batch;  // oldest chunk at the back
    std::size_t m_nOffset = 0;            // bytes of the oldest chunk handed out
    bool m_bEnded = false;
};

}  // namespace vornak
