// The queue between the DV frame assembler, which runs in the DV receiver's callback, and the
// thread that hands samples on: whole DV frames, each in a slot of its own, so that the
// callback only copies and returns however slow the consumer is.
//
// When no slot is free the frame is thrown away whole and counted, and the next frame stored is
// marked as following a gap. Slots are allocated as they are first needed: a tape that never
// plays DV costs no memory.
//
// Each frame carries a number from the publication order the pin shares with its transport
// packet queue, so that the delivery thread can hand on both kinds in the order they came.
//
// Threads: one producer (Add, MarkBreak) and one consumer (FrontOrder, Take, DropReady) at a
// time; the counters may be read from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "SlotPool.h"

namespace vornak {

class DvFrameQueue {
  public:
    // Room for `frames` frames (at least 1) of at most `frameSize` bytes each.
    DvFrameQueue(std::size_t frames, std::size_t frameSize);

    // Producer. Copies `frame`, numbered `order`; false when it was thrown away (no free slot,
    // or longer than a slot).
    bool Add(std::span<const std::uint8_t> frame, std::uint64_t order);
    // The next frame stored follows a break in the stream.
    void MarkBreak() { m_gapPending = true; }

    // Consumer. The number of the oldest frame waiting; none when none waits.
    std::optional<std::uint64_t> FrontOrder() const { return m_pool.FrontOrder(); }
    // Moves the oldest frame to `out` (room for `room` bytes) and returns its size; 0 when
    // none waits or it does not fit. Sets `*gapBefore` when it follows a break or lost frames.
    std::size_t Take(std::uint8_t* out, std::size_t room, bool* gapBefore);
    std::size_t ReadyFrames() const { return m_pool.ReadyCount(); }
    // Throws the waiting frames away, counting them as dropped; returns how many.
    std::size_t DropReady();

    // Throws away everything; only while neither producer nor consumer runs.
    void Clear();

    // Frames thrown away.
    std::uint64_t DroppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }
    // Frames stored since the queue was emptied last.
    std::uint64_t StoredFrames() const { return m_stored.load(std::memory_order_acquire); }

  private:
    struct Slot {
        std::unique_ptr<std::uint8_t[]> data;  // allocated on first use
        std::size_t size = 0;
        std::uint64_t order = 0;
        bool gapBefore = false;
    };

    const std::size_t m_frameSize;
    SlotPool<Slot> m_pool;

    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_stored{0};
    bool m_gapPending = false;  // the producer's alone
};

}  // namespace vornak
