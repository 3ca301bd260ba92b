// The queue between libiec61883's MPEG-2 receiver and the thread that hands samples on. The
// receiver's callback only copies into it and returns, so that a slow disk or a busy consumer
// never holds up the kernel's receive ring (about 125 ms of HDV), whose overruns firewire-core
// does not report.
//
// Each 188-byte transport packet (its source packet header taken off by the receiver) is
// stored as a 192-byte source packet again, with a header carrying an arrival time stamp in the
// IEC 61883-4 layout (7 reserved bits, then 13 bits of cycle count and 12 bits of cycle
// offset): the bus cycle timer as read when the receiver's batch was taken from the kernel.
// Nothing downstream times by it; it keeps the packets in the form the capture pin knows.
//
// Packets are gathered in blocks of a sample's size. The producer fills one block at a time
// and publishes it when full (or when the stream pauses, Seal); the consumer takes published
// blocks in order. When no block is free, whole packets are thrown away and counted, and the
// next block is marked as following a gap.
//
// Threads: one producer (SetArrivalTime, Add, Seal) and one consumer (Take) at a time; the
// counters may be read from any thread. A short lock is taken once per block, never per packet.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "SlotPool.h"

namespace vornak {

class SourcePacketQueue {
  public:
    static constexpr std::size_t kTransportPacketSize = 188;
    static constexpr std::size_t kHeaderSize = 4;
    static constexpr std::size_t kSourcePacketSize = kHeaderSize + kTransportPacketSize;
    // The cycle count and offset fields of the cycle timer register.
    static constexpr std::uint32_t kCycleTimeMask = 0x01FFFFFF;

    // `blocks` blocks of `packetsPerBlock` packets each, both at least 1.
    SourcePacketQueue(std::size_t packetsPerBlock, std::size_t blocks);

    // Producer. The stamp for the packets that follow, from the bus cycle timer register.
    void SetArrivalTime(std::uint32_t cycleTimer);
    // Takes the whole transport packets among `length` bytes at `data`; a tail shorter than a
    // packet is discarded (and counted), and so is a packet that finds no room. A negative
    // length or null data takes nothing. Returns the packets stored.
    std::size_t Add(const std::uint8_t* data, int length);
    // Publishes the block being filled, if it holds anything.
    void Seal();
    // The stream paused: the next block is marked as following a break, as after a gap (the
    // stream that resumes, after a DV stretch of the tape say, need not continue the old one).
    void MarkBreak() { m_gapPending = true; }
    // Blocks are numbered as they are published, from `*next` on (which moves on), so that a
    // consumer can merge them with another queue's items numbered from the same counter; the
    // producer's alone. Without it the queue numbers its blocks itself.
    void ShareOrder(std::uint64_t* next) { m_nextOrder = next != nullptr ? next : &m_ownOrder; }

    // Consumer. Moves the oldest published block to `out` (room for `maxPackets` source
    // packets, at least a block's worth) and returns its packets, 0 when none waits; sets
    // `*gapBefore` when packets were thrown away right before it.
    std::size_t Take(std::uint8_t* out, std::size_t maxPackets, bool* gapBefore);
    // The number of the oldest published block; none when none waits.
    std::optional<std::uint64_t> FrontOrder() const { return m_pool.FrontOrder(); }
    // Published blocks waiting.
    std::size_t ReadyBlocks() const { return m_pool.ReadyCount(); }
    // Throws the published blocks away, counting their packets as dropped; returns how many.
    // Consumer, when what waits can no longer be delivered.
    std::size_t DropReady();

    // Throws away everything; only while neither producer nor consumer runs.
    void Clear();

    std::size_t PacketsPerBlock() const { return m_packetsPerBlock; }
    // Packets thrown away because there was no room.
    std::uint64_t DroppedPackets() const { return m_dropped.load(std::memory_order_relaxed); }
    // Packets stored since the queue was emptied last: the number the next one takes.
    std::uint64_t StoredPackets() const { return m_stored.load(std::memory_order_acquire); }
    // Bytes received that did not make up a whole transport packet.
    std::uint64_t DiscardedBytes() const { return m_discarded.load(std::memory_order_relaxed); }

  private:
    struct Block {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t packets = 0;
        std::uint64_t order = 0;
        bool gapBefore = false;
    };

    // Producer: a block to fill, or null when none is free.
    Block* NextBlock();

    const std::size_t m_packetsPerBlock;
    SlotPool<Block> m_pool;

    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_discarded{0};
    std::atomic<std::uint64_t> m_stored{0};
    // The producer's alone.
    Block* m_filling = nullptr;
    std::uint32_t m_stamp = 0;
    bool m_gapPending = false;
    std::uint64_t m_ownOrder = 0;
    std::uint64_t* m_nextOrder = &m_ownOrder;
};

}  // namespace vornak
