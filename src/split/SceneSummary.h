// What one scene holds, reported when its file is finished (or, in a listing, when the scene
// would have been finished).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RecordingDate.h"
#include "SceneHealth.h"

namespace vornak {

// HDV plays 25 pictures a second.
inline constexpr double kPicturesPerSecond = 25.0;

struct SceneSummary {
    std::int32_t number = 0;  // from 0, in the order the job made its scenes
    std::string path;         // the scene file; empty in a listing
    // Where the scene's first byte lies in the input, or -1 when its bytes are not one piece
    // of the input (the sync mode interleaves its packets anew).
    std::int64_t offset = -1;
    std::uint64_t length = 0;  // bytes in the scene file
    std::optional<RecordingDate> firstDate;
    std::optional<RecordingDate> lastDate;
    std::uint64_t pictures = 0;
    std::uint64_t brokenPictures = 0;
    // The bytes before a job's first picture group, kept in a file of their own: no scene.
    bool fragment = false;
    // How many of the pictures play a second: 25 for HDV and 625/50 DV, 30000/1001 for 525/60.
    double picturesPerSecond = kPicturesPerSecond;

    // DV scenes only; an HDV scene leaves them empty. A DV frame is one picture, so `pictures`
    // counts the frames too, and `brokenPictures` the frames cut short.
    std::string format;         // "DV"
    std::string system;         // "525/60" or "625/50"
    std::string aspect;         // "4:3" or "16:9"; empty when no frame says
    std::uint64_t frames = 0;   // whole frames
    std::string firstTimecode;  // "hh:mm:ss:ff" (";ff" when drop-frame); empty when none
    std::string lastTimecode;
    std::uint64_t damagedVideoFrames = 0;  // frames with a video block whose status says error
    std::uint64_t damagedAudioFrames = 0;  // frames with an audio sample that is the error code

    // What a health check found wrong, in the order it was found; only a job told to check
    // fills it (`healthChecked`), so an empty list says "clean" only when that is set.
    bool healthChecked = false;
    std::vector<HealthFinding> findings;
    // DV: the frames (from 0, within the scene) whose subcode sets the recording-start flag.
    std::vector<std::uint64_t> recordingStarts;

    bool IsDv() const { return !format.empty(); }
    double DurationSeconds() const { return static_cast<double>(pictures) / picturesPerSecond; }
};

}  // namespace vornak
