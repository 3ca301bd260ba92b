// The header of a PES packet (ISO/IEC 13818-1, 2.4.3.6): where its payload starts, how long the
// packet says it is, and its presentation time stamp, read with every length checked against
// the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vornak {

class PesHeader {
  public:
    // Start code prefix, stream id and PES_packet_length.
    static constexpr std::size_t kFixedSize = 6;
    static constexpr std::int64_t kPtsClock = 90000;  // ticks a second

    // Null when `bytes` (the start of a PES packet) does not begin with a readable header: no
    // start code, an MPEG-1 style header, or a header that claims more bytes than there are.
    static std::optional<PesHeader> Parse(std::span<const std::uint8_t> bytes);

    std::uint8_t StreamId() const { return m_streamId; }
    // PES_packet_length: the bytes after the fixed six; 0 means unbounded (video in a
    // transport stream).
    std::size_t PacketLength() const { return m_packetLength; }
    // Offset of the first payload byte from the packet's start.
    std::size_t PayloadOffset() const { return m_payloadOffset; }
    // In 90 kHz ticks.
    std::optional<std::int64_t> Pts() const { return m_pts; }

  private:
    PesHeader() = default;

    std::uint8_t m_streamId = 0;
    std::size_t m_packetLength = 0;
    std::size_t m_payloadOffset = kFixedSize;
    std::optional<std::int64_t> m_pts;
};

}  // namespace vornak
