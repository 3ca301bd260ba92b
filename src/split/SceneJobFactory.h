// Makes the job that splits (or lists) one input file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "LogSink.h"
#include "SceneJob.h"
#include "SceneSplitterSettings.h"

namespace vornak {

// The job for the input at `inputPath`, reporting to `log` (null: silent) and writing only the
// scenes `chooseScene` takes (empty: all of them); see SceneSplitter::SetSceneChoice.
std::unique_ptr<SceneJob> MakeSceneJob(const std::string& inputPath,
                                       const SceneSplitterSettings& settings, LogSink* log,
                                       std::function<bool(std::int32_t)> chooseScene);

}  // namespace vornak
