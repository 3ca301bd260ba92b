// A small bounded queue of PCM bytes between the thread that receives sound and the thread that
// feeds the sound output. It holds whole frames (one sample of every channel) only. What does
// not fit when it arrives is dropped and counted: the sound plays as it comes, and the writer
// never waits.
//
// Thread-safe: any number of writers and readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vornak {

class PcmRingBuffer {
  public:
    // Empty, with no room: Reset gives it its size.
    PcmRingBuffer() = default;

    // Empties the queue and gives it room for `capacity` bytes, rounded down to whole frames of
    // `frameSize` bytes. With no room everything written is dropped. The counts start again.
    void Reset(std::size_t capacity, std::size_t frameSize);
    // Queues as many whole frames of `data` as fit and drops the rest (and any partial frame at
    // the end). Returns the bytes queued.
    std::size_t Write(const std::uint8_t* data, std::size_t size);
    // Takes up to `size` bytes (whole frames) in the order they were written. Returns how many.
    std::size_t Read(std::uint8_t* data, std::size_t size);

    std::size_t Size() const;
    std::size_t Capacity() const;
    // Bytes given to Write that did not fit.
    std::size_t Dropped() const;

  private:
    std::size_t WholeFrames(std::size_t size) const { return size - size % m_nFrameSize; }

    mutable std::mutex m_lock;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_nFrameSize = 1;
    std::size_t m_nStart = 0;  // of the oldest byte
    std::size_t m_nSize = 0;
    std::size_t m_nDropped = 0;
};

}  // namespace vornak
