// What one scene holds, reported when its file is finished (or, in a listing, when the scene
// would have been finished).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RecordingDate.h"

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

    double DurationSeconds() const { return static_cast<double>(pictures) / kPicturesPerSecond; }
};

}  // namespace vornak
