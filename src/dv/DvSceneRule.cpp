#include "DvSceneRule.h"

namespace vornak::dv {

// What a frame does not say (no aspect pack, no audio pack) cannot differ; the last value a
// frame did say stands until one says otherwise.
bool DvSceneRule::FormatChanges(const Format& known, const DvFrameInfo& frame) {
    auto differs = [](auto was, auto now, auto unknown) {
        return was != unknown && now != unknown && was != now;
    };
    return frame.system != known.system ||
           differs(known.aspect, frame.aspect, DvAspect::kUnknown) ||
           differs(known.audioRate, frame.audioRate, 0) ||
           differs(known.audioBits, frame.audioBits, 0);
}

void DvSceneRule::LearnFormat(Format& known, const DvFrameInfo& frame) {
    known.system = frame.system;
    if (frame.aspect != DvAspect::kUnknown) {
        known.aspect = frame.aspect;
    }
    if (frame.audioRate != 0) {
        known.audioRate = frame.audioRate;
    }
    if (frame.audioBits != 0) {
        known.audioBits = frame.audioBits;
    }
}

DvCut DvSceneRule::Next(const DvFrameInfo& frame) {
    const std::optional<std::int64_t> seconds =
        frame.recorded ? std::optional(frame.recorded->Seconds()) : std::nullopt;
    DvCut cut = DvCut::kNone;
    if (!m_started) {
        cut = DvCut::kFirstFrame;
    } else if (frame.recordingStart && !m_previousFlagged) {
        // A camcorder may flag a few frames at the start of a recording; the first of them
        // starts it.
        cut = DvCut::kRecordingStart;
    } else if (seconds && m_lastDated &&
               (*seconds - *m_lastDated > kMaxStepSeconds ||
                *m_lastDated - *seconds > kMaxStepSeconds)) {
        // Measured from the scene's last dated frame: frames without a date in between belong
        // to the scene they are in and move nothing.
        cut = DvCut::kDateJump;
    } else if (FormatChanges(m_format, frame)) {
        cut = DvCut::kFormatChange;
    }

    m_started = true;
    m_previousFlagged = frame.recordingStart;
    if (cut != DvCut::kNone) {
        m_lastDated.reset();  // a new scene measures from its own dates
    }
    if (seconds) {
        m_lastDated = seconds;
    }
    LearnFormat(m_format, frame);
    return cut;
}

}  // namespace vornak::dv
