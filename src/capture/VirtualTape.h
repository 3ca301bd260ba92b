// The tape in the virtual camcorder: a transport-stream file read as whole 188-byte packets,
// the rate it was recorded at, and the timecode of a place on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "HResult.h"

namespace vornak {

class VirtualTape {
  public:
    static constexpr double kDefaultBitRate = 25'000'000.0;  // HDV 1080i
    // How much of the tape's start is searched for clock references to measure its rate.
    static constexpr std::size_t kRateProbeBytes = 8 << 20;

    VirtualTape() = default;
    ~VirtualTape();
    VirtualTape(const VirtualTape&) = delete;
    VirtualTape& operator=(const VirtualTape&) = delete;

    // False when the file cannot be opened; the tape is then empty.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

    // Whole packets on the tape; a trailing partial packet is not played.
    std::uint64_t PacketCount() const { return m_nPackets; }
    // Bits per second: measured between the program clock references near the start of the
    // tape, or kDefaultBitRate when it carries none that make sense.
    double BitRate() const { return m_bitRate; }

    // Copies packets [first, first + count) to `dest` (188 bytes each). Returns the number of
    // whole packets read, fewer at the end of the tape or on a read error. Safe to call from
    // any thread.
    std::size_t Read(std::uint64_t first, std::size_t count, std::uint8_t* dest) const;

    static constexpr unsigned kFramesPerSecond = 25;
    // The timecode at tape position `packet` of a tape recorded at `bitRate`, as the eight BCD
    // digits hh:mm:ss:ff of TIMECODE::dwFrames: the time it takes to play the packets before
    // it, in whole frames. The hours wrap after 23 as a camcorder's tape counter does (a day
    // of HDV is far more than any tape holds).
    static DWORD TimecodeAt(std::uint64_t packet, double bitRate);

  private:
    double MeasureBitRate() const;

    int m_fd = -1;
    std::string m_path;
    std::uint64_t m_nPackets = 0;
    double m_bitRate = kDefaultBitRate;
};

}  // namespace vornak
