// One 188-byte transport packet (ISO/IEC 13818-1), read with every length checked against the
// packet: a packet whose header contradicts itself is refused rather than half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vornak {

class TransportPacket {
  public:
    static constexpr std::size_t kSize = 188;
    static constexpr std::uint8_t kSyncByte = 0x47;
    static constexpr std::uint16_t kNullPid = 0x1FFF;
    static constexpr std::uint16_t kMaxPid = 0x1FFF;
    static constexpr std::uint8_t kContinuityModulo = 16;

    // Null for anything but a readable packet: wrong length or sync byte, the transport error
    // flag set, the reserved adaptation_field_control value, or an adaptation field running past
    // the packet's end.
    static std::optional<TransportPacket> Parse(std::span<const std::uint8_t> packet);

    std::uint16_t Pid() const { return m_pid; }
    bool PayloadUnitStart() const { return m_bPayloadUnitStart; }
    // The adaptation field's discontinuity_indicator: the counter may jump here.
    bool Discontinuity() const { return m_bDiscontinuity; }
    std::uint8_t ContinuityCounter() const { return m_continuityCounter; }
    bool HasPayload() const { return m_bHasPayload; }
    // Inside the packet handed to Parse; empty when there is none.
    std::span<const std::uint8_t> Payload() const { return m_payload; }

  private:
    TransportPacket() = default;

    std::uint16_t m_pid = 0;
    bool m_bPayloadUnitStart = false;
    bool m_bDiscontinuity = false;
    std::uint8_t m_continuityCounter = 0;
    bool m_bHasPayload = false;
    std::span<const std::uint8_t> m_payload;
};

}  // namespace vornak
