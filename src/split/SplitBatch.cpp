#include "SplitBatch.h"

#include <memory>
#include <utility>

#include "InputFile.h"
#include "SceneJobFactory.h"

namespace vornak {

SplitBatch::SplitBatch(Options options, Hooks hooks, LogSink* log)
    : m_options(std::move(options)), m_hooks(std::move(hooks)), m_pLog(log) {}

bool SplitBatch::StopRequested() const {
    return m_options.job.stopFlag != nullptr && m_options.job.stopFlag->load() != 0;
}

std::string SplitBatch::Refusal(const std::string& path, const SceneJobNames& names,
                                std::int32_t counter) const {
    if (m_options.job.listOnly) {
        return m_hooks.listingRefusal ? m_hooks.listingRefusal(path) : std::string();
    }
    return CheckSceneJobOutput(names, m_options.outputDir, m_options.newName, counter,
                               m_options.job.dateTimeNaming, m_options.job.dateFormat);
}

void SplitBatch::Run(const std::vector<std::string>& inputs) {
    m_failed.clear();
    std::uint64_t doneBytes = 0;
    std::int32_t counter = m_options.job.firstCounter;
    for (std::size_t index = 0; index < inputs.size(); ++index) {
        if (m_options.skipInputsAfterStop && StopRequested()) {
            break;
        }
        const std::string& path = inputs[index];
        const SceneJobNames names = MakeSceneJobNames(path, m_options.outputDir, m_options.newName);
        const std::int64_t size = InputFile::SizeOf(path);
        const std::uint64_t inputBytes = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        Outcome outcome;
        outcome.index = index;
        outcome.path = path;
        outcome.doneBytes = doneBytes + inputBytes;
        if (m_hooks.inputStarting) {
            m_hooks.inputStarting(index, doneBytes);
        }
        // Refused before the input is read: a job that cannot make its files (scene files, or a
        // listing's pictures) would only fail at its first scene, or, worse, leave part of the
        // tape split.
        if (const std::string refusal = Refusal(path, names, counter); !refusal.empty()) {
            if (m_pLog != nullptr) {
                m_pLog->AddLog(LogSeverity::Error, refusal);
            }
            m_failed.push_back(path);
        } else {
            if (m_hooks.jobStarting) {
                m_hooks.jobStarting(path, inputBytes);
            }
            SceneSplitterSettings settings = m_options.job;
            settings.baseName = names.baseName;
            settings.extension = names.extension;
            settings.firstCounter = counter;
            const SceneJobMaker& make = m_options.makeJob ? m_options.makeJob : MakeSceneJob;
            const std::unique_ptr<SceneJob> job = make(
                path, settings, m_pLog, m_hooks.sceneChoice ? m_hooks.sceneChoice(path) : nullptr);
            job->Run();
            outcome.result = job->Result();
            if (job->Failed()) {
                m_failed.push_back(path);
            }
            // One shared name numbers its scenes on across inputs; each own name starts afresh.
            if (m_options.newName) {
                counter = job->Counter();
            }
        }
        doneBytes = outcome.doneBytes;
        if (m_hooks.inputDone && !m_hooks.inputDone(outcome)) {
            break;
        }
    }
}

}  // namespace vornak
