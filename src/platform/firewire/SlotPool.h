// The pool of slots behind the queues between a libiec61883 receiver's callback and the thread
// that hands samples on: a fixed set of slots, each either free or published (ready), moved
// between the two lists under a short lock. What a slot holds and counts is the queue's own
// business; the pool only needs each slot to carry the `order` it was published under.
//
// Emptied slots are reused most recent first, so that while the consumer keeps up the same few
// slots, warm in the cache, go round.
//
// Threads: one producer (Acquire, Publish) and one consumer (FrontOrder, TakeOldest, DropReady)
// at a time; ReadyCount may be read from any thread; Reset only while neither runs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace vornak {

template <typename Slot>
class SlotPool {
  public:
    // `slots` slots, at least 1, all free.
    explicit SlotPool(std::size_t slots) : m_slots(std::max<std::size_t>(slots, 1)) { Reset(); }

    // Every slot, for the queue to prepare; not while a producer or consumer runs.
    std::span<Slot> Slots() { return m_slots; }

    // Puts every slot back among the free ones.
    void Reset() {
        std::lock_guard lock(m_lock);
        m_ready.clear();
        m_free.clear();
        for (Slot& slot : m_slots) {
            m_free.push_back(&slot);
        }
        m_readyCount.store(0, std::memory_order_relaxed);
    }

    // Producer. A free slot, or null when none is free.
    Slot* Acquire() {
        std::lock_guard lock(m_lock);
        if (m_free.empty()) {
            return nullptr;
        }
        Slot* slot = m_free.back();
        m_free.pop_back();
        return slot;
    }
    // Producer. Hands a filled slot to the consumer, behind those published before it.
    void Publish(Slot* slot) {
        std::lock_guard lock(m_lock);
        m_ready.push_back(slot);
        m_readyCount.store(m_ready.size(), std::memory_order_release);
    }

    // Consumer. The order of the oldest published slot; none when none waits.
    std::optional<std::uint64_t> FrontOrder() const {
        std::lock_guard lock(m_lock);
        if (m_ready.empty()) {
            return std::nullopt;
        }
        return m_ready.front()->order;
    }
    // Consumer. Hands the oldest published slot to `read` if `fits(slot)` says the caller has
    // room for it, then frees it; false when none waits or it does not fit. `read` runs
    // outside the lock, so that the producer never waits for a copy.
    template <typename Fits, typename Read>
    bool TakeOldest(Fits fits, Read read) {
        Slot* slot = nullptr;
        {
            std::lock_guard lock(m_lock);
            if (m_ready.empty() || !fits(*m_ready.front())) {
                return false;
            }
            slot = m_ready.front();
            m_ready.pop_front();
            m_readyCount.store(m_ready.size(), std::memory_order_release);
        }
        read(static_cast<const Slot&>(*slot));
        std::lock_guard lock(m_lock);
        m_free.push_back(slot);
        return true;
    }
    // Consumer. Frees every published slot and returns the sum of `weigh(slot)` over them.
    template <typename Weigh>
    std::size_t DropReady(Weigh weigh) {
        std::lock_guard lock(m_lock);
        std::size_t total = 0;
        for (Slot* slot : m_ready) {
            total += weigh(*slot);
            m_free.push_back(slot);
        }
        m_ready.clear();
        m_readyCount.store(0, std::memory_order_release);
        return total;
    }

    std::size_t ReadyCount() const { return m_readyCount.load(std::memory_order_acquire); }

  private:
    std::vector<Slot> m_slots;

    mutable std::mutex m_lock;
    std::deque<Slot*> m_ready;  // guarded by m_lock; oldest first
    std::vector<Slot*> m_free;  // guarded by m_lock; most recently emptied last
    std::atomic<std::size_t> m_readyCount{0};
};

}  // namespace vornak
