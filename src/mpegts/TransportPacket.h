// One transport packet (ISO/IEC 13818-1, 2.4.3.2), read in place: the one way the program reads
// a packet's header and adaptation field. Every offset taken from the stream is checked against
// the bytes at hand before it is followed.
//
// Reading costs no allocation and no copy; the accessors are inline, as the split reads every
// packet of hours of tape with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "Pids.h"

namespace vornak {

class TransportPacket {
  public:
    static constexpr std::size_t kSize = 188;
    static constexpr std::uint8_t kSyncByte = 0x47;
    static constexpr std::size_t kHeaderSize = 4;
    static constexpr std::size_t kAdaptationLengthOffset = 4;  // adaptation_field_length
    static constexpr std::uint8_t kContinuityModulo = 16;
    // 27 MHz ticks in one tick of the PCR's 90 kHz base.
    static constexpr std::uint64_t kPcrBaseTicks = 300;

    // A whole packet whose bounds the caller has checked.
    explicit TransportPacket(std::span<const std::uint8_t, kSize> packet)
        : m_bytes(packet.data()), m_size(kSize) {}

    // The packet at `offset` in `buffer`, as far as the buffer holds it (a packet cut short by
    // the buffer's end reads as far as it goes); null when not even its header is there.
    static std::optional<TransportPacket> At(std::span<const std::uint8_t> buffer,
                                             std::size_t offset) {
        if (offset > buffer.size() || buffer.size() - offset < kHeaderSize) {
            return std::nullopt;
        }
        const std::size_t size = buffer.size() - offset < kSize ? buffer.size() - offset : kSize;
        return TransportPacket(buffer.data() + offset, size);
    }

    // Null for anything but a readable packet: wrong length or sync byte, the transport error
    // flag set, the reserved adaptation_field_control value, or an adaptation field running past
    // the packet's end.
    static std::optional<TransportPacket> Parse(std::span<const std::uint8_t> packet);

    // Fewer than kSize bytes only for a packet cut short by the end of a buffer.
    std::span<const std::uint8_t> bytes() const { return {m_bytes, m_size}; }

    // The header's fields, always present.
    std::uint8_t sync_byte() const { return m_bytes[0]; }
    bool transport_error_indicator() const { return (m_bytes[1] & kTransportErrorBit) != 0; }
    bool payload_unit_start_indicator() const { return (m_bytes[1] & kUnitStartBit) != 0; }
    std::uint16_t pid() const {
        return static_cast<std::uint16_t>(((m_bytes[1] << kBitsPerByte) | m_bytes[2]) & PID_MAX);
    }
    // 0 is reserved; bit 1 says an adaptation field follows the header, bit 0 a payload.
    std::uint8_t adaptation_field_control() const {
        return static_cast<std::uint8_t>((m_bytes[3] >> kControlShift) & kControlMask);
    }
    bool has_adaptation_field() const { return (adaptation_field_control() & kAdaptation) != 0; }
    bool has_payload() const { return (adaptation_field_control() & kPayload) != 0; }
    std::uint8_t continuity_counter() const {
        return static_cast<std::uint8_t>(m_bytes[3] & kContinuityMask);
    }

    // As the stream says it: 0 without an adaptation field, and possibly more than the packet
    // holds; adaptation_field_fits() tells.
    std::size_t adaptation_field_length() const {
        return has_adaptation_field() && m_size > kAdaptationLengthOffset
                   ? m_bytes[kAdaptationLengthOffset]
                   : 0;
    }
    // Where the payload begins when there is one: after the header and any adaptation field.
    // Null when the adaptation field runs past the bytes at hand.
    std::optional<std::size_t> payload_offset() const {
        if (!has_adaptation_field()) {
            return kHeaderSize;
        }
        if (m_size <= kAdaptationLengthOffset) {
            return std::nullopt;  // the length byte itself is missing
        }
        const std::size_t end = kAdaptationStart + m_bytes[kAdaptationLengthOffset];
        return end <= m_size ? std::optional<std::size_t>(end) : std::nullopt;
    }
    bool adaptation_field_fits() const { return payload_offset().has_value(); }
    // Empty when adaptation_field_control says there is none, or the adaptation field does not
    // fit.
    std::span<const std::uint8_t> payload() const {
        const std::optional<std::size_t> offset = payload_offset();
        if (!has_payload() || !offset) {
            return {};
        }
        return bytes().subspan(*offset);
    }

    // The adaptation field's flags; all clear when it has none.
    bool discontinuity_indicator() const { return (AdaptationFlags() & kDiscontinuityBit) != 0; }
    bool PCR_flag() const { return (AdaptationFlags() & kPcrBit) != 0; }
    // program_clock_reference_base * 300 + program_clock_reference_extension, in 27 MHz ticks;
    // null unless the flag is set and the field is long enough to hold it.
    std::optional<std::uint64_t> program_clock_reference() const {
        if (!PCR_flag() || adaptation_field_length() < kMinAdaptationForPcr ||
            m_size < kPcrOffset + kPcrBytes) {
            return std::nullopt;
        }
        // 33 bits of base, 6 reserved bits, 9 bits of extension.
        const std::uint8_t* p = m_bytes + kPcrOffset;
        const std::uint64_t base = (std::uint64_t{p[0]} << 25) | (std::uint64_t{p[1]} << 17) |
                                   (std::uint64_t{p[2]} << 9) | (std::uint64_t{p[3]} << 1) |
                                   (std::uint64_t{p[4]} >> 7);
        const std::uint64_t extension = ((std::uint64_t{p[4]} & 0x01) << kBitsPerByte) | p[5];
        return base * kPcrBaseTicks + extension;
    }

  private:
    static constexpr std::uint8_t kTransportErrorBit = 0x80;
    static constexpr std::uint8_t kUnitStartBit = 0x40;
    static constexpr int kBitsPerByte = 8;
    static constexpr int kControlShift = 4;
    static constexpr std::uint8_t kControlMask = 0x3;
    static constexpr std::uint8_t kAdaptation = 0x2;
    static constexpr std::uint8_t kPayload = 0x1;
    static constexpr std::uint8_t kContinuityMask = 0x0F;
    static constexpr std::size_t kAdaptationStart = kAdaptationLengthOffset + 1;
    static constexpr std::size_t kAdaptationFlagsOffset = kAdaptationStart;
    static constexpr std::uint8_t kDiscontinuityBit = 0x80;
    static constexpr std::uint8_t kPcrBit = 0x10;
    // The flags byte and the six bytes of the clock reference.
    static constexpr std::size_t kMinAdaptationForPcr = 7;
    static constexpr std::size_t kPcrOffset = kAdaptationFlagsOffset + 1;
    static constexpr std::size_t kPcrBytes = 6;

    TransportPacket(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    std::uint8_t AdaptationFlags() const {
        return adaptation_field_length() > 0 && m_size > kAdaptationFlagsOffset
                   ? m_bytes[kAdaptationFlagsOffset]
                   : 0;
    }

    const std::uint8_t* m_bytes;
    std::size_t m_size;
};

}  // namespace vornak
