// Makes the job for an input of any format read: a transport stream, raw DV, or DV in AVI or
// QuickTime, told apart by the content. DV scenes go into raw .dv files, or into AVI (type 2) or
// QuickTime files by stream copy.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "DvContainerWriter.h"
#include "LogSink.h"
#include "SceneJob.h"
#include "SceneJobFactory.h"
#include "SceneSplitterSettings.h"

namespace vornak {

// Whether the input holds DV, raw or in a container, told by its content.
bool IsDvInput(const std::string& inputPath);

// The scene file extension a DV container gets: "avi" or "mov".
const char* DvContainerExtension(dv::DvContainer container);

// MakeSceneJob's arguments; DV scenes go into raw .dv files.
std::unique_ptr<SceneJob> MakeSceneJobForAnyInput(const std::string& inputPath,
                                                  const SceneSplitterSettings& settings,
                                                  LogSink* log,
                                                  std::function<bool(std::int32_t)> chooseScene);

// A maker whose DV scenes go into `dvContainer` (none: raw .dv files). With a container,
// `notDv` (if any) is told of each input that is no DV, which the container does not apply to.
SceneJobMaker AnyInputSceneJobMaker(std::optional<dv::DvContainer> dvContainer,
                                    std::function<void(const std::string& path)> notDv = {});

}  // namespace vornak
