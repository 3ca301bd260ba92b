// Transport packet layout (ISO/IEC 13818-1), the PES header and MPEG-2 video start codes as the
// split reads them, and the recording-date pack. TransportPacket reads a packet's fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Pids.h"
#include "TransportPacket.h"

namespace vornak {

inline constexpr std::size_t PKT_SIZE = TransportPacket::kSize;
inline constexpr std::uint8_t SYNC_BYTE = TransportPacket::kSyncByte;

// Offsets inside the 4-byte transport header and the PES header.
inline constexpr std::size_t TS_HEADER_SIZE = TransportPacket::kHeaderSize;
inline constexpr std::size_t ADAPTATION_LENGTH_OFFSET = TransportPacket::kAdaptationLengthOffset;
inline constexpr std::size_t PES_FLAGS_OFFSET = 7;          // PTS_DTS_flags live here
inline constexpr std::size_t PES_HEADER_LENGTH_OFFSET = 8;  // PES_header_data_length
inline constexpr std::size_t PES_FIXED_HEADER_SIZE = 9;     // up to and including that length byte
inline constexpr std::size_t PES_PTS_OFFSET = 9;
inline constexpr std::size_t TIMESTAMP_SIZE = 5;

// MPEG-2 video start codes (ISO/IEC 13818-2), as 32-bit shift register values.
inline constexpr std::uint32_t PICTURE_START_CODE = 0x00000100;
inline constexpr std::uint32_t GROUP_START_CODE = 0x000001B8;
inline constexpr std::uint32_t SEQUENCE_END_CODE = 0x000001B7;
inline constexpr std::uint32_t START_CODE_PREFIX = 0x000001;  // top three bytes of any start code
inline constexpr std::uint8_t SLICE_START_MIN = 0x01;
inline constexpr std::uint8_t SLICE_START_MAX = 0xAF;
// The same codes by the byte after the prefix, as a search that finds the prefix reads them.
inline constexpr std::uint8_t PICTURE_START_BYTE = 0x00;
inline constexpr std::uint8_t USER_DATA_START_BYTE = 0xB2;
inline constexpr std::uint8_t SEQUENCE_HEADER_BYTE = 0xB3;
inline constexpr std::uint8_t EXTENSION_START_BYTE = 0xB5;
inline constexpr std::uint8_t GROUP_START_BYTE = 0xB8;
inline constexpr int SLICES_PER_PICTURE = 68;  // 1080 lines / 16, as HDV camcorders write them
// The byte holding closed_gop is the fourth after the group start code; closed_gop is bit 6.
inline constexpr std::size_t GOP_FLAGS_BYTE = 4;
inline constexpr std::uint8_t CLOSED_GOP_BIT = 0x40;

// The recording-date pack on PID_RECORDING_DATE: after the adaptation field (its length L is packet
// byte 4) comes a private_stream_2 PES whose bytes 42..44 hold day, month and year and 46..48
// second, minute and hour, all BCD. Counted from the packet's first byte that is L + 47 onwards.
inline constexpr std::size_t DATE_DAY_OFFSET = 47;
inline constexpr std::size_t DATE_MONTH_OFFSET = 48;
inline constexpr std::size_t DATE_YEAR_OFFSET = 49;
inline constexpr std::size_t DATE_SECOND_OFFSET = 51;
inline constexpr std::size_t DATE_MINUTE_OFFSET = 52;
inline constexpr std::size_t DATE_HOUR_OFFSET = 53;
// Masks for the tens digit of each BCD field.
inline constexpr std::uint8_t DAY_TENS_MASK = 0x3;
inline constexpr std::uint8_t MONTH_TENS_MASK = 0x1;
inline constexpr std::uint8_t YEAR_TENS_MASK = 0xF;
inline constexpr std::uint8_t SECOND_TENS_MASK = 0x7;
inline constexpr std::uint8_t MINUTE_TENS_MASK = 0x7;
inline constexpr std::uint8_t HOUR_TENS_MASK = 0x3;

// The header fields of the whole packet at `pkt`, for code that walks raw packets it has already
// bounded; TransportPacket reads them.
inline TransportPacket WholePacket(const std::uint8_t* pkt) {
    return TransportPacket(std::span<const std::uint8_t, PKT_SIZE>(pkt, PKT_SIZE));
}
inline int pid(const std::uint8_t* pkt) {
    return WholePacket(pkt).pid();
}
inline bool payload_unit_start_indicator(const std::uint8_t* pkt) {
    return WholePacket(pkt).payload_unit_start_indicator();
}
inline int adaptation_field_control(const std::uint8_t* pkt) {
    return WholePacket(pkt).adaptation_field_control();
}
inline int continuity_counter(const std::uint8_t* pkt) {
    return WholePacket(pkt).continuity_counter();
}
inline bool has_adaptation_field(const std::uint8_t* pkt) {
    return WholePacket(pkt).has_adaptation_field();
}

}  // namespace vornak
