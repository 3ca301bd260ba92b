#include "SourcePacketQueue.h"

#include <algorithm>
#include <cstring>

namespace vornak {
namespace {

constexpr unsigned kBitsPerByte = 8;

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    for (std::size_t i = 0; i < sizeof value; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> ((sizeof value - 1 - i) * kBitsPerByte));
    }
}

}  // namespace

SourcePacketQueue::SourcePacketQueue(std::size_t packetsPerBlock, std::size_t blocks)
    : m_packetsPerBlock(std::max<std::size_t>(packetsPerBlock, 1)), m_pool(blocks) {
    for (Block& block : m_pool.Slots()) {
        block.data =
            std::make_unique_for_overwrite<std::uint8_t[]>(m_packetsPerBlock * kSourcePacketSize);
    }
}

void SourcePacketQueue::Clear() {
    m_pool.Reset();
    m_stored.store(0, std::memory_order_relaxed);
    m_filling = nullptr;
    m_gapPending = false;
}

void SourcePacketQueue::SetArrivalTime(std::uint32_t cycleTimer) {
    m_stamp = cycleTimer & kCycleTimeMask;
}

SourcePacketQueue::Block* SourcePacketQueue::NextBlock() {
    Block* block = m_pool.Acquire();
    if (block == nullptr) {
        return nullptr;
    }
    block->packets = 0;
    block->gapBefore = m_gapPending;
    m_gapPending = false;
    return block;
}

std::size_t SourcePacketQueue::Add(const std::uint8_t* data, int length) {
    if (data == nullptr || length <= 0) {
        return 0;
    }
    const auto bytes = static_cast<std::size_t>(length);
    const std::size_t packets = bytes / kTransportPacketSize;
    if (bytes % kTransportPacketSize != 0) {
        m_discarded.fetch_add(bytes % kTransportPacketSize, std::memory_order_relaxed);
    }
    std::size_t stored = 0;
    for (; stored < packets; ++stored) {
        if (m_filling == nullptr && (m_filling = NextBlock()) == nullptr) {
            m_dropped.fetch_add(packets - stored, std::memory_order_relaxed);
            m_gapPending = true;
            break;
        }
        std::uint8_t* out = m_filling->data.get() + m_filling->packets * kSourcePacketSize;
        PutBigEndian32(out, m_stamp);
        std::memcpy(out + kHeaderSize, data + stored * kTransportPacketSize, kTransportPacketSize);
        if (++m_filling->packets == m_packetsPerBlock) {
            Seal();
        }
    }
    m_stored.fetch_add(stored, std::memory_order_release);
    return stored;
}

void SourcePacketQueue::Seal() {
    if (m_filling == nullptr || m_filling->packets == 0) {
        return;
    }
    m_filling->order = (*m_nextOrder)++;
    m_pool.Publish(m_filling);
    m_filling = nullptr;
}

std::size_t SourcePacketQueue::Take(std::uint8_t* out, std::size_t maxPackets, bool* gapBefore) {
    std::size_t packets = 0;
    m_pool.TakeOldest([&](const Block&) { return maxPackets >= m_packetsPerBlock; },
                      [&](const Block& block) {
                          packets = block.packets;
                          std::memcpy(out, block.data.get(), packets * kSourcePacketSize);
                          if (gapBefore != nullptr) {
                              *gapBefore = block.gapBefore;
                          }
                      });
    return packets;
}

std::size_t SourcePacketQueue::DropReady() {
    const std::size_t packets = m_pool.DropReady([](const Block& block) { return block.packets; });
    m_dropped.fetch_add(packets, std::memory_order_relaxed);
    return packets;
}

}  // namespace vornak
