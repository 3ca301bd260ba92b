#include "SceneJobFactory.h"

#include <utility>

#include "SceneSplitter.h"

namespace vornak {

std::unique_ptr<SceneJob> MakeSceneJob(const std::string& inputPath,
                                       const SceneSplitterSettings& settings, LogSink* log,
                                       std::function<bool(std::int32_t)> chooseScene) {
    // Every input is taken for a transport stream today. A reader for another tape format
    // decides here, by what the input holds, which job it gets; the batch that runs the jobs,
    // the names, the refusals and the listings stay the same for every format.
    auto job = std::make_unique<SceneSplitter>(inputPath, settings);
    job->SetLog(log);
    job->SetSceneChoice(std::move(chooseScene));
    return job;
}

}  // namespace vornak
