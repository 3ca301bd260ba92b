#include "DvHealthCheck.h"

#include "DvFirstDate.h"
#include "DvSceneRule.h"

namespace vornak {

namespace {

constexpr int kTimecodeBase625 = 25;
constexpr int kTimecodeBase525 = 30;
constexpr std::int64_t kMinutesPerHour = 60;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kHoursPerDay = 24;
// Drop-frame counting skips two frame numbers at the start of each minute, except every tenth.
constexpr std::int64_t kDroppedPerMinute = 2;
constexpr std::int64_t kMinutesKeptWhole = 10;
// A recording's second may hold a frame or two more or less than it should (as the scene rule
// allows for), so the clock may tick a little sooner than the frames say.
constexpr std::int64_t kClockSlackFrames = 2;

bool CountsDropFrame(const dv::DvTimecode& timecode, dv::DvSystem system) {
    return timecode.dropFrame && system == dv::DvSystem::k525_60;
}

}  // namespace

int DvHealthCheck::TimecodeBase(dv::DvSystem system) {
    return system == dv::DvSystem::k625_50 ? kTimecodeBase625 : kTimecodeBase525;
}

std::int64_t DvHealthCheck::FrameNumber(const dv::DvTimecode& timecode, dv::DvSystem system) {
    const std::int64_t minutes = timecode.hours * kMinutesPerHour + timecode.minutes;
    std::int64_t number =
        (minutes * kSecondsPerMinute + timecode.seconds) * TimecodeBase(system) + timecode.frames;
    if (CountsDropFrame(timecode, system)) {
        number -= kDroppedPerMinute * (minutes - minutes / kMinutesKeptWhole);
    }
    return number;
}

std::int64_t DvHealthCheck::FramesPerDay(bool dropFrame, dv::DvSystem system) {
    dv::DvTimecode midnight;
    midnight.hours = static_cast<int>(kHoursPerDay);
    midnight.dropFrame = dropFrame;
    return FrameNumber(midnight, system);
}

std::int64_t DvHealthCheck::MaxMissingSeconds() {
    return dv::DvSceneRule::kMaxStepSeconds + 1;
}

void DvHealthCheck::StartScene() {
    *this = DvHealthCheck{};
}

HealthPlace DvHealthCheck::PlaceOf(const dv::DvFrameInfo* frame, std::int64_t offset,
                                   const SceneSummary& scene) {
    HealthPlace place;
    place.picture = scene.pictures;
    place.offset = offset;
    if (frame != nullptr) {
        place.timecode = frame->timecode;
        if (frame->recorded) {
            place.date = ToRecordingDate(*frame->recorded);
        }
    }
    if (!place.date) {
        // A damaged frame often loses its date packs; the scene's clock has hardly moved since.
        place.date = scene.lastDate;
    }
    return place;
}

void DvHealthCheck::Frame(const dv::DvFrameInfo& frame, std::int64_t offset, SceneSummary& scene) {
    const HealthPlace place = PlaceOf(&frame, offset, scene);
    if (frame.videoBlocksInError > 0) {
        AddFinding(scene.findings, HealthKind::VideoError,
                   static_cast<std::uint64_t>(frame.videoBlocksInError), place);
    }
    if (frame.videoBlocksConcealed > 0) {
        AddFinding(scene.findings, HealthKind::VideoConcealed,
                   static_cast<std::uint64_t>(frame.videoBlocksConcealed), place);
    }
    if (frame.audioErrorSamples > 0) {
        AddFinding(scene.findings, HealthKind::AudioError,
                   static_cast<std::uint64_t>(frame.audioErrorSamples), place);
    }
    if (frame.recordingStart) {
        scene.recordingStarts.push_back(place.picture);
    }
    // The timecode first: frames it finds missing are time the recording clock went on for.
    CheckTimecode(frame, place, scene);
    CheckDate(frame, place, scene);
    ++m_tapeFrames;
}

void DvHealthCheck::CutShort(const dv::DvFrameInfo* frame, std::int64_t offset,
                             SceneSummary& scene) {
    const HealthPlace place = PlaceOf(frame, offset, scene);
    AddFinding(scene.findings, HealthKind::IncompleteFrame, 1, place);
    // It took its place on the tape, so the frames after it are not missing. Its timecode and
    // date are not compared: no scene rule has seen it, and it may be the first frame of the
    // next recording, whose start is no finding.
    ++m_tapeFrames;
}

void DvHealthCheck::CheckTimecode(const dv::DvFrameInfo& frame, const HealthPlace& place,
                                  SceneSummary& scene) {
    if (!frame.timecode) {
        return;  // a frame without one moves what the next is expected to say
    }
    const bool dropFrame = CountsDropFrame(*frame.timecode, frame.system);
    const std::int64_t number = FrameNumber(*frame.timecode, frame.system);
    if (m_lastNumber) {
        const std::int64_t day = FramesPerDay(dropFrame, frame.system);
        const std::int64_t expected =
            *m_lastNumber + static_cast<std::int64_t>(m_tapeFrames - m_lastTimecodeAt);
        // Forward from what was expected, past midnight if need be; going back is nearly a day.
        const std::int64_t ahead = ((number - expected) % day + day) % day;
        const std::int64_t maxMissing = MaxMissingSeconds() * TimecodeBase(frame.system);
        if (dropFrame != m_lastDropFrame) {
            AddFinding(scene.findings, HealthKind::TimecodeJump, 1, place);
        } else if (ahead > 0 && ahead <= maxMissing) {
            AddFinding(scene.findings, HealthKind::FramesMissing, static_cast<std::uint64_t>(ahead),
                       place);
            m_tapeFrames += static_cast<std::uint64_t>(ahead);
        } else if (ahead > 0) {
            AddFinding(scene.findings, HealthKind::TimecodeJump, 1, place);
        }
    }
    m_lastNumber = number;
    m_lastDropFrame = dropFrame;
    m_lastTimecodeAt = m_tapeFrames;
}

void DvHealthCheck::CheckDate(const dv::DvFrameInfo& frame, const HealthPlace& place,
                              SceneSummary& scene) {
    if (!frame.recorded) {
        return;
    }
    const std::int64_t seconds = frame.recorded->Seconds();
    if (m_lastSeconds) {
        // The clock counts whole seconds: over n frames it moves by the seconds they last,
        // rounded up, and never back.
        const std::int64_t step = seconds - *m_lastSeconds;
        const auto elapsed = static_cast<std::int64_t>(m_tapeFrames - m_lastDateAt);
        const std::int64_t base = TimecodeBase(frame.system);
        const std::int64_t allowed = (elapsed + kClockSlackFrames + base - 1) / base;
        if (step < 0 || step > allowed) {
            AddFinding(scene.findings, HealthKind::DateJump, 1, place);
        }
    }
    m_lastSeconds = seconds;
    m_lastDateAt = m_tapeFrames;
}

}  // namespace vornak
