// Finds transport packets missing from the camcorder's stream by the continuity counters of the
// video and audio streams (PIDs 0x810, 0x814, 0x815): a loss anywhere before the capture file
// (in the kernel, in the receive queue) shows as a jump in a counter.
//
// As the MPEG-2 systems standard has it, a counter advances (modulo 16) with every packet that
// carries payload; packets with an adaptation field only repeat the previous value and are not
// looked at; a packet may be sent twice in a row (same counter, a duplicate, not a loss); and a
// packet whose adaptation field sets the discontinuity indicator may start anew. A jump
// counts the packets it skips, unless it lands on the start of a PES packet: that is how the
// join of two recordings on a tape looks.
//
// Not thread-safe: the capture pin's streaming thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vornak {

class ContinuityCheck {
  public:
    // Forgets every counter: the next packet of each stream is taken as it comes.
    void Reset();
    // Looks at the whole 188-byte packets among `length` bytes at `packets`; returns the
    // packets found missing.
    std::uint32_t Check(const std::uint8_t* packets, std::size_t length);

  private:
    static constexpr int kStreams = 3;
    static constexpr std::int8_t kUnknown = -1;
    // The last counter of each stream, kUnknown before its first packet.
    std::array<std::int8_t, kStreams> m_last{kUnknown, kUnknown, kUnknown};
};

}  // namespace vornak
