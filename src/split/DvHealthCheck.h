// What is wrong with the frames of a DV scene, found frame by frame as the DV scene job reads
// them: video blocks in error or concealed, audio error samples, frames missing by the
// timecode, the timecode or the recording date going back or jumping, and frames cut short.
//
// Everything it needs the frame parser has already read, so the check costs a few comparisons a
// frame. A scene is checked on its own: its first frame is never compared with the scene before,
// so that where the scene rule cuts is never a finding.
//
// Blocks a capture never received are written into its frames as the damage a deck reports
// (video blocks whose status says "error", audio samples that are the error code) and nothing
// in the bytes sets them apart from a deck's own; they are found as what they look like.
#pragma once

#include <cstdint>
#include <optional>

#include "DvFrameInfo.h"
#include "SceneSummary.h"

namespace vornak {

class DvHealthCheck {
  public:
    // Frames per second by which a timecode counts: 25 for 625/50, 30 for 525/60 (whose real
    // rate, 30000/1001, drop-frame counting makes up for by skipping numbers).
    static int TimecodeBase(dv::DvSystem system);
    // The frame's number counted from 00:00:00:00 on the timecode's own clock; a drop-frame
    // timecode (525/60 only) skips frames 0 and 1 of each minute but every tenth.
    static std::int64_t FrameNumber(const dv::DvTimecode& timecode, dv::DvSystem system);
    // Frames a timecode counts in a day, after which it begins again at 00:00:00:00.
    static std::int64_t FramesPerDay(bool dropFrame, dv::DvSystem system);
    // The longest forward step of the timecode, in seconds, that is taken as frames missing
    // rather than a jump. The scene rule starts a new scene when the recording clock moves more
    // than its step, so within a scene the frames lost between two dated frames span at most
    // that step and the second the clock counts in; a longer gap in the timecode cannot be
    // frames of the same recording that went missing: the timecode itself jumped.
    static std::int64_t MaxMissingSeconds();

    // A new scene: what came before it is forgotten.
    void StartScene();
    // A whole frame, the scene's `scene.pictures`-th, which lies at `offset` in the input (-1
    // when not known). Files what it finds into `scene`.
    void Frame(const dv::DvFrameInfo& frame, std::int64_t offset, SceneSummary& scene);
    // A frame cut short, before the scene's `scene.pictures`-th whole frame; `frame` is what its
    // whole sequences say (its timecode and date, for its place), or null when it holds none.
    void CutShort(const dv::DvFrameInfo* frame, std::int64_t offset, SceneSummary& scene);

  private:
    void CheckTimecode(const dv::DvFrameInfo& frame, const HealthPlace& place, SceneSummary& scene);
    void CheckDate(const dv::DvFrameInfo& frame, const HealthPlace& place, SceneSummary& scene);
    static HealthPlace PlaceOf(const dv::DvFrameInfo* frame, std::int64_t offset,
                               const SceneSummary& scene);

    // Frames of the tape the scene has spanned so far: whole, cut short and missing.
    std::uint64_t m_tapeFrames = 0;
    // The last frame with a timecode: its number, its clock, and the tape frame it was.
    std::optional<std::int64_t> m_lastNumber;
    bool m_lastDropFrame = false;
    std::uint64_t m_lastTimecodeAt = 0;
    // The last dated frame: its clock's seconds and the tape frame it was.
    std::optional<std::int64_t> m_lastSeconds;
    std::uint64_t m_lastDateAt = 0;
};

}  // namespace vornak
