#include "DvFrameQueue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vornak {

DvFrameQueue::DvFrameQueue(std::size_t frames, std::size_t frameSize)
    : m_frameSize(frameSize), m_slots(std::max<std::size_t>(frames, 1)) {
    Clear();
}

void DvFrameQueue::Clear() {
    std::lock_guard lock(m_lock);
    m_ready.clear();
    m_free.clear();
    for (Slot& slot : m_slots) {
        m_free.push_back(&slot);
    }
    m_readyCount.store(0, std::memory_order_relaxed);
    m_stored.store(0, std::memory_order_relaxed);
    m_gapPending = false;
}

bool DvFrameQueue::Add(std::span<const std::uint8_t> frame, std::uint64_t order) {
    Slot* slot = nullptr;
    if (frame.size() <= m_frameSize) {
        std::lock_guard lock(m_lock);
        if (!m_free.empty()) {
            slot = m_free.back();
            m_free.pop_back();
        }
    }
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
    {
        std::lock_guard lock(m_lock);
        m_ready.push_back(slot);
        m_readyCount.store(m_ready.size(), std::memory_order_release);
    }
    m_stored.fetch_add(1, std::memory_order_release);
    return true;
}

std::optional<std::uint64_t> DvFrameQueue::FrontOrder() const {
    std::lock_guard lock(m_lock);
    if (m_ready.empty()) {
        return std::nullopt;
    }
    return m_ready.front()->order;
}

std::size_t DvFrameQueue::Take(std::uint8_t* out, std::size_t room, bool* gapBefore) {
    Slot* slot = nullptr;
    {
        std::lock_guard lock(m_lock);
        if (m_ready.empty() || m_ready.front()->size > room) {
            return 0;
        }
        slot = m_ready.front();
        m_ready.pop_front();
        m_readyCount.store(m_ready.size(), std::memory_order_release);
    }
    const std::size_t size = slot->size;
    std::memcpy(out, slot->data.get(), size);
    if (gapBefore != nullptr) {
        *gapBefore = slot->gapBefore;
    }
    std::lock_guard lock(m_lock);
    m_free.push_back(slot);
    return size;
}

std::size_t DvFrameQueue::DropReady() {
    std::lock_guard lock(m_lock);
    const std::size_t frames = m_ready.size();
    for (Slot* slot : m_ready) {
        m_free.push_back(slot);
    }
    m_ready.clear();
    m_readyCount.store(0, std::memory_order_release);
    m_dropped.fetch_add(frames, std::memory_order_relaxed);
    return frames;
}

}  // namespace vornak
