#include "AnyInputSceneJob.h"

#include <utility>

#include "DvContainerByteSource.h"
#include "DvContainerSceneFile.h"
#include "DvSceneSplitter.h"
#include "SceneSplitter.h"
#include "StreamFormatProbe.h"

namespace vornak {

namespace {

std::unique_ptr<SceneJob> MakeJob(const std::string& inputPath,
                                  const SceneSplitterSettings& settings, LogSink* log,
                                  std::function<bool(std::int32_t)> chooseScene,
                                  std::optional<dv::DvContainer> dvContainer,
                                  const std::function<void(const std::string&)>& notDv) {
    const dv::StreamFormat format = dv::StreamFormatProbe::ProbeFile(inputPath).format;
    const bool container = format == dv::StreamFormat::kDvAviType1 ||
                           format == dv::StreamFormat::kDvAviType2 ||
                           format == dv::StreamFormat::kDvQuickTime;
    if (format != dv::StreamFormat::kRawDv && !container) {
        // A transport stream, or neither: the transport-stream job says what is wrong with it.
        if (dvContainer && notDv && format == dv::StreamFormat::kTransportStream) {
            notDv(inputPath);
        }
        auto job = std::make_unique<SceneSplitter>(inputPath, settings);
        job->SetLog(log);
        job->SetSceneChoice(std::move(chooseScene));
        return job;
    }
    SceneSplitterSettings dvSettings = settings;
    dvSettings.extension =
        dvContainer ? DvContainerExtension(*dvContainer) : DvSceneSplitter::kExtension;
    auto job = std::make_unique<DvSceneSplitter>(inputPath, std::move(dvSettings));
    job->SetLog(log);
    job->SetSceneChoice(std::move(chooseScene));
    if (container) {
        job->SetByteSource(std::make_unique<DvContainerByteSource>(log));
    }
    if (dvContainer) {
        job->SetSceneFile(std::make_unique<DvContainerSceneFile>(*dvContainer, log));
    }
    return job;
}

}  // namespace

bool IsDvInput(const std::string& inputPath) {
    switch (dv::StreamFormatProbe::ProbeFile(inputPath).format) {
        case dv::StreamFormat::kRawDv:
        case dv::StreamFormat::kDvAviType1:
        case dv::StreamFormat::kDvAviType2:
        case dv::StreamFormat::kDvQuickTime:
            return true;
        case dv::StreamFormat::kTransportStream:
        case dv::StreamFormat::kNeither:
            break;
    }
    return false;
}

const char* DvContainerExtension(dv::DvContainer container) {
    return container == dv::DvContainer::kAvi ? "avi" : "mov";
}

std::unique_ptr<SceneJob> MakeSceneJobForAnyInput(const std::string& inputPath,
                                                  const SceneSplitterSettings& settings,
                                                  LogSink* log,
                                                  std::function<bool(std::int32_t)> chooseScene) {
    return MakeJob(inputPath, settings, log, std::move(chooseScene), std::nullopt, {});
}

SceneJobMaker AnyInputSceneJobMaker(std::optional<dv::DvContainer> dvContainer,
                                    std::function<void(const std::string& path)> notDv) {
    return [dvContainer, notDv = std::move(notDv)](
               const std::string& inputPath, const SceneSplitterSettings& settings, LogSink* log,
               std::function<bool(std::int32_t)> chooseScene) {
        return MakeJob(inputPath, settings, log, std::move(chooseScene), dvContainer, notDv);
    };
}

}  // namespace vornak
