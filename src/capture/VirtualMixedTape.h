// The whole tape in the virtual camcorder: one file or several played one after the other as
// one tape, each a part of its own kind (transport stream or DV, told by its content). The
// position counts units across the parts as TapeTransport does: packets in transport-stream
// parts, frames in DV parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HResult.h"
#include "TapeTransport.h"
#include "VirtualTape.h"

namespace vornak {

class VirtualMixedTape {
  public:
    static constexpr char kSeparator = ',';

    // The files a setting names: the whole text when it names an existing file (paths may
    // hold commas), else the pieces between commas, none left out (an empty piece stays, and
    // fails to open as no file).
    static std::vector<std::string> SplitList(const std::string& text);

    // False when a file cannot be opened; the tape is then empty and FailedPath() names it.
    bool Open(const std::vector<std::string>& paths);
    void Close();
    const std::string& FailedPath() const { return m_failedPath; }

    std::size_t PartCount() const { return m_parts.size(); }
    const VirtualTape& Part(std::size_t index) const { return *m_parts[index]; }
    // The parts as the transport plays them.
    std::vector<TapeTransport::Part> TransportParts() const;
    bool HasDv() const;
    // Units on the whole tape.
    std::uint64_t UnitCount() const;
    // Packets of a tape of one transport-stream file; units of any other.
    std::uint64_t PacketCount() const { return UnitCount(); }
    // The bit rate of the first transport-stream part, or VirtualTape::kDefaultBitRate.
    double BitRate() const;

    // The timecode at tape position `position`: in a DV part the frame's own (the last
    // frame's at the end of the tape), else the time it takes to play what comes before it
    // (VirtualTape::TimecodeAt).
    DWORD TimecodeAt(std::uint64_t position) const;

  private:
    std::vector<std::unique_ptr<VirtualTape>> m_parts;
    std::string m_failedPath;
};

}  // namespace vornak
