// The parsed header of one transport packet.
#pragma once

#include <cstdint>

namespace vornak {

struct PacketInfo {
    const std::uint8_t* packet = nullptr;  // first byte of the packet
    int pid = 0;
    bool unitStart = false;
    int adaptation = 0;                     // adaptation_field_control, 0..3
    const std::uint8_t* payload = nullptr;  // first elementary-stream byte; null when unknown
    bool hasPts = false;
    std::uint32_t ptsHigh = 0;  // bit 32 of the 33-bit PTS
    std::uint32_t ptsLow = 0;   // bits 31..0
    bool hasDts = false;
    std::uint32_t dtsHigh = 0;
    std::uint32_t dtsLow = 0;
    int continuity = 0;

    std::uint64_t Pts() const { return (std::uint64_t(ptsHigh) << 32) | ptsLow; }
    std::uint64_t Dts() const { return (std::uint64_t(dtsHigh) << 32) | dtsLow; }
};

}  // namespace vornak
