#include "DvFrameQueue.h"

#include <cstring>
#include <utility>

namespace vornak {

DvFrameQueue::DvFrameQueue(std::size_t frames, std::size_t frameSize)
    : m_frameSize(frameSize), m_pool(frames) {}

void DvFrameQueue::Clear() {
    m_pool.Reset();
    m_stored.store(0, std::memory_order_relaxed);
    m_gapPending = false;
}

bool DvFrameQueue::Add(std::span<const std::uint8_t> frame, std::uint64_t order) {
    Slot* slot = frame.size() <= m_frameSize ? m_pool.Acquire() : nullptr;
    if (slot == nullptr) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        m_gapPending = true;
        return false;
    }
    if (!slot->data) {
        slot->data = std::make_unique_for_overwrite<std::uint8_t[]>(m_frameSize);
    }
    std::memcpy(slot->data.get(), frame.data(), frame.size());
    slot->size = frame.size();
    slot->order = order;
    slot->gapBefore = std::exchange(m_gapPending, false);
    m_pool.Publish(slot);
    m_stored.fetch_add(1, std::memory_order_release);
    return true;
}

std::size_t DvFrameQueue::Take(std::uint8_t* out, std::size_t room, bool* gapBefore) {
    std::size_t size = 0;
    m_pool.TakeOldest([room](const Slot& ready) { return ready.size <= room; },
                      [&](const Slot& slot) {
                          size = slot.size;
                          std::memcpy(out, slot.data.get(), size);
                          if (gapBefore != nullptr) {
                              *gapBefore = slot.gapBefore;
                          }
                      });
    return size;
}

std::size_t DvFrameQueue::DropReady() {
    const std::size_t frames = m_pool.DropReady([](const Slot&) { return std::size_t{1}; });
    m_dropped.fetch_add(frames, std::memory_order_relaxed);
    return frames;
}

}  // namespace vornak
