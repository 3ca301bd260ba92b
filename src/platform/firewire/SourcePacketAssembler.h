// Rebuilds the camcorder's 192-byte source packets from what libiec61883's MPEG-2 receiver
// hands over (188-byte transport packets, their source packet headers taken off) and gathers
// them into samples of a fixed number of packets.
//
// The rebuilt header carries an arrival time stamp in the IEC 61883-4 layout (7 reserved bits,
// then 13 bits of cycle count and 12 bits of cycle offset): the bus cycle timer as read when the
// receiver's batch of packets was taken from the kernel, so every packet of one batch carries
// the same stamp. Nothing downstream times by it; it keeps the packets in the form the capture
// pin knows, and keeps them close to the time they arrived.
//
// Not thread-safe: used on the reception thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vornak {

class SourcePacketAssembler {
  public:
    static constexpr std::size_t kTransportPacketSize = 188;
    static constexpr std::size_t kHeaderSize = 4;
    static constexpr std::size_t kSourcePacketSize = kHeaderSize + kTransportPacketSize;
    // The cycle count and offset fields of the cycle timer register.
    static constexpr std::uint32_t kCycleTimeMask = 0x01FFFFFF;

    // Receives a sample's worth of source packets: `packets` whole packets in `data`.
    using Emit =
        std::function<void(const std::uint8_t* data, std::size_t size, std::size_t packets)>;

    // `packetsPerSample` at least 1.
    SourcePacketAssembler(std::size_t packetsPerSample, Emit emit);

    // The stamp for the packets that follow, from the bus cycle timer register.
    void SetArrivalTime(std::uint32_t cycleTimer);
    // Takes the whole transport packets among `length` bytes at `data`, emitting each sample
    // as it fills up. A tail shorter than a packet is dropped (and counted); a negative length
    // or null data takes nothing. Returns the packets taken.
    std::size_t Add(const std::uint8_t* data, int length);
    // Emits the packets gathered so far, if any, as a shorter sample.
    void Flush();

    std::size_t PacketsPerSample() const { return m_packetsPerSample; }
    std::size_t Pending() const { return m_pending; }
    // Bytes received that did not make up a whole transport packet.
    std::uint64_t DiscardedBytes() const { return m_discarded; }

  private:
    std::size_t m_packetsPerSample;
    Emit m_emit;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_pending = 0;
    std::uint32_t m_stamp = 0;
    std::uint64_t m_discarded = 0;
};

}  // namespace vornak
