// Where a split job reports to. The pages implement it; a null sink means silence.
#pragma once

#include <cstdint>
#include <string>

#include "SceneSummary.h"

namespace vornak {

class LogSink {
  public:
    virtual ~LogSink() = default;
    // One line of text. Callable from any thread.
    virtual void AddLog(const std::string& line) = 0;
    // Bytes just written to an output file.
    virtual void AddWritten(std::uint32_t bytes) { (void)bytes; }
    // Broken pictures found in the video.
    virtual void AddDropped(int pictures) { (void)pictures; }
    // A scene is finished: its file is closed (or, in a listing, the scene is complete).
    virtual void SceneFinished(const SceneSummary& scene) { (void)scene; }
};

}  // namespace vornak
