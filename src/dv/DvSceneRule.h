// Where a new scene begins on a DV tape, decided frame by frame in tape order.
#pragma once

#include <cstdint>
#include <optional>

#include "DvFrameInfo.h"

namespace vornak::dv {

enum class DvCut : std::uint8_t {
    kNone,            // the frame belongs to the scene before it
    kFirstFrame,      // the tape's first frame opens the first scene
    kRecordingStart,  // the camcorder flagged the start of a recording
    kDateJump,        // the recording date and time moved by more than kMaxStepSeconds
    kFormatChange,    // system, aspect, audio rate or sample size changed
};

class DvSceneRule {
  public:
    // A recording's clock ticks once a second, and a second may hold a frame or two more or
    // less than it should; only a step beyond this, either way, is a new recording.
    static constexpr std::int64_t kMaxStepSeconds = 2;

    // Takes the next frame of the tape and says whether it opens a new scene, and why (the
    // first reason that applies, in the order of DvCut). Bytes that are no whole frame need not
    // be shown to it: they belong to the scene they fall in.
    DvCut Next(const DvFrameInfo& frame);

  private:
    struct Format {
        DvSystem system = DvSystem::k625_50;
        DvAspect aspect = DvAspect::kUnknown;
        int audioRate = 0;
        int audioBits = 0;
    };

    static bool FormatChanges(const Format& known, const DvFrameInfo& frame);
    static void LearnFormat(Format& known, const DvFrameInfo& frame);

    bool m_started = false;
    bool m_previousFlagged = false;
    std::optional<std::int64_t> m_lastDated;  // seconds of the scene's last dated frame
    Format m_format;
};

}  // namespace vornak::dv
