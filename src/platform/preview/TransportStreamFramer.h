// Cuts a byte stream into 188-byte transport packets. Samples need not hold whole packets: a
// packet cut at a sample's end is completed from the next one. When a sync byte is missing the
// framer looks for the next place where two sync bytes stand a packet apart, skipping the bytes
// in between, so that one damaged packet costs only itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "TransportPacket.h"

namespace vornak {

class TransportStreamFramer {
  public:
    // Called with exactly TransportPacket::kSize bytes that start with a sync byte.
    using PacketSink = std::function<void(std::span<const std::uint8_t> packet)>;

    void Feed(std::span<const std::uint8_t> data, const PacketSink& sink);
    // Forgets a packet begun in an earlier sample.
    void Reset() { m_partialSize = 0; }

    // Bytes passed over while looking for a sync byte, and the runs of them: each run is at
    // least one damaged packet.
    std::uint64_t SkippedBytes() const { return m_skippedBytes; }
    std::uint64_t SkippedRuns() const { return m_skippedRuns; }

  private:
    // Where the next packet starts at or after `from`: a sync byte confirmed by another one a
    // packet further on, or one too near the end to be confirmed yet; data.size() if none.
    static std::size_t FindSync(std::span<const std::uint8_t> data, std::size_t from);
    void Skip(std::size_t bytes) {
        m_skippedBytes += bytes;
        ++m_skippedRuns;
    }

    std::array<std::uint8_t, TransportPacket::kSize> m_partial{};
    std::size_t m_partialSize = 0;
    std::uint64_t m_skippedBytes = 0;
    std::uint64_t m_skippedRuns = 0;
};

}  // namespace vornak
