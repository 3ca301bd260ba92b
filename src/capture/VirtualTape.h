// One file on the virtual camcorder's tape, told by its content: a transport stream read as
// whole 188-byte packets with the rate it was recorded at, or raw DV read as whole frames of
// the system its first frame names, played at that system's frame rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "DifConstants.h"
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

    // The file holds DV frames rather than transport packets.
    bool IsDv() const { return m_bDv; }
    dv::DvSystem DvSystem() const { return m_system; }
    // Bytes of one unit the tape is played in: a transport packet, or a DV frame.
    std::size_t UnitSize() const { return m_nUnitSize; }
    // Whole units on the tape; a trailing partial packet or frame is not played.
    std::uint64_t UnitCount() const { return m_nUnits; }
    std::uint64_t PacketCount() const { return m_bDv ? 0 : m_nUnits; }
    // How long one unit plays: UnitTimeNumerator() / UnitTimeDenominator() seconds, kept as a
    // fraction so that whole numbers of units come out exactly. Packets play at BitRate(), DV
    // frames at 25 or 30000/1001 a second.
    std::uint64_t UnitTimeNumerator() const;
    double UnitTimeDenominator() const;
    // Bits per second of a transport stream: measured between the program clock references
    // near the start of the tape, or kDefaultBitRate when it carries none that make sense.
    double BitRate() const { return m_bitRate; }

    // Copies units [first, first + count) to `dest` (UnitSize() bytes each). Returns the
    // number of whole units read, fewer at the end of the tape or on a read error. Safe to
    // call from any thread.
    std::size_t Read(std::uint64_t first, std::size_t count, std::uint8_t* dest) const;

    // The timecode a DV frame's subcode gives; none for a transport stream, a frame beyond
    // the tape, or a frame without a readable one.
    std::optional<DWORD> DvTimecodeAt(std::uint64_t frame) const;

    static constexpr unsigned kFramesPerSecond = 25;
    // The timecode at tape position `packet` of a tape recorded at `bitRate`, `secondsBefore`
    // into the tape, as the eight BCD digits hh:mm:ss:ff of TIMECODE::dwFrames: the time it
    // takes to play what comes before it, in whole frames. The hours wrap after 23 as a
    // camcorder's tape counter does (a day of HDV is far more than any tape holds).
    static DWORD TimecodeAt(std::uint64_t packet, double bitRate, double secondsBefore = 0);

  private:
    double MeasureBitRate() const;

    int m_fd = -1;
    std::string m_path;
    bool m_bDv = false;
    dv::DvSystem m_system = dv::DvSystem::k625_50;
    std::size_t m_nUnitSize = 188;
    std::uint64_t m_nUnits = 0;
    double m_bitRate = kDefaultBitRate;
};

}  // namespace vornak
