// Dates a raw DV file made elsewhere (an ffmpeg clip, say), as a camcorder would have: every
// frame gets its recording date and time, its timecode and its recording-start flag, in every
// copy the frame has room for (VAUX, subcode and AAUX), so that the clip splits into scenes.
//
// Only those pack bytes change. Bytes outside whole frames (garbage, a frame cut short) are
// copied as they are, and every byte stays where it was.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "DatePackInserter.h"
#include "DifConstants.h"

namespace vornak::tape {

class DvDateWriter {
  public:
    // --cut-after moves the date by DatePackInserter::kSceneJumpSeconds, as for HDV, and flags
    // the frame where it happens as a recording start.
    explicit DvDateWriter(DateInsertOptions options = {});

    // Sets the packs of the next frame of the file, in place. `frame` is one whole frame of
    // `system`.
    void StampFrame(std::span<std::uint8_t> frame, dv::DvSystem system);

    // Reads `input` and writes `output`, which must not exist yet. On failure the output is
    // removed and Error() names the file at fault.
    bool WriteFile(const std::string& input, const std::string& output);

    const std::string& Error() const { return m_error; }
    std::uint64_t Frames() const { return m_frames; }
    // Bytes copied unchanged because they are no whole frame.
    std::uint64_t OtherBytes() const { return m_otherBytes; }
    // 2 once a frame after the first was moved by the cut.
    int Scenes() const { return m_cutFrame > 0 ? 2 : 1; }

  private:
    struct Stamp;
    Stamp StampFor(dv::DvSystem system);
    bool Fail(const std::string& message);

    DateInsertOptions m_options;
    std::string m_error;
    std::uint64_t m_frames = 0;
    std::uint64_t m_ticks = 0;  // 90 kHz, from the first frame to this one
    std::uint64_t m_cutFrame = 0;
    bool m_cutDone = false;
    std::uint64_t m_otherBytes = 0;
};

}  // namespace vornak::tape
