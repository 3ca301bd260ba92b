// What one split job is told before it starts: where its files go, how they are named, and how
// it reads. The file form and the live form of SceneSplitter both take it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "SceneFileName.h"
#include "VideoDecodeCheck.h"

namespace vornak {

// Set (to anything but 0) from any thread to stop a job at its next packet.
using StopFlag = std::atomic<std::uint8_t>;

struct SceneSplitterSettings {
    std::string baseName = {};   // path prefix of every scene file
    std::string extension = {};  // without the dot
    // Shared with whoever may stop the job; null: the job owns a stop byte of its own.
    StopFlag* stopFlag = nullptr;
    // The number the job's first numbered file gets; Counter() hands on the next free one.
    std::int32_t firstCounter = 0;
    // Files are named by their first recording date (with `dateFormat`), else numbered.
    bool dateTimeNaming = true;
    // Audio is cut at its own presentation time rather than together with the video.
    bool syncAV = false;
    std::string dateFormat = kDefaultDateFormat;
    // Lists instead of splitting: the job decides exactly as it would, but creates and writes
    // no file; each scene is reported to the log sink (SceneFinished) with an empty path.
    bool listOnly = false;
    // Live form only: a broken picture that ends a recording is the end of a scene, not a
    // dropped picture; its count waits for the scene decision of the group after it.
    bool midScenesOk = false;
    // Looks for damage as it goes and reports it with each scene (SceneSummary::findings):
    // packets lost, broken pictures, picture groups without a date, timecode jumps and, for DV,
    // blocks and samples in error. Costs a little reading, no decoding.
    bool healthCheck = false;
    // With the health check: also decodes every picture, through a check this makes.
    VideoDecodeCheckMaker decodeCheck = {};
};

}  // namespace vornak
