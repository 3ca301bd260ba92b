// Where a split job reports to. The pages implement it; a null sink means silence.
#pragma once

#include <cstdint>
#include <string>

#include "LogText.h"
#include "SceneSummary.h"

namespace vornak {

class LogSink {
  public:
    virtual ~LogSink() = default;
    // One line as the user reads it (its words begin with what `severity` puts there, and may
    // start with a CR LF that sets it apart). Callable from any thread.
    virtual void AddLog(LogSeverity severity, const std::string& line) = 0;
    // Bytes just written to an output file.
    virtual void AddWritten(std::uint32_t bytes) { (void)bytes; }
    // Broken pictures found in the video.
    virtual void AddDropped(int pictures) { (void)pictures; }
    // A scene is finished: its file is closed (or, in a listing, the scene is complete).
    virtual void SceneFinished(const SceneSummary& scene) { (void)scene; }
};

}  // namespace vornak
