// DV scene files: what the DV job puts into them, through the scene output it shares with the
// transport-stream job.
#include <string>

#include "DvSceneSplitter.h"

namespace vornak {

void DvSceneSplitter::OpenSceneFile() {
    const RecordingDate* date = m_sceneDate ? &*m_sceneDate : nullptr;
    const bool skipped = !m_bListOnly && m_chooseScene && !m_chooseScene(m_nScenes);
    m_scene.number = m_nScenes;
    if (m_bListOnly || skipped) {
        if (skipped) {
            m_output.SkipName(date, false);
        }
        ++m_nScenes;
        m_bListSceneOpen = true;
        m_scene.path.clear();
        return;
    }
    if (!m_output.Open(date, false)) {
        Fail(SplitResult::CreateFailed);
        m_bAbort = true;
        return;
    }
    ++m_nScenes;
    m_scene.path = m_output.Name();
}

// A scene that is listed or skipped goes nowhere; its bytes still count as done, so that the
// progress follows the input.
void DvSceneSplitter::WriteOut(const std::uint8_t* data, std::size_t size) {
    const std::size_t written = m_bListSceneOpen ? size : m_pOutFile->Write(data, size);
    m_nNotWrittenBack += m_bListSceneOpen ? 0 : written;
    if (m_nNotWrittenBack >= kWritebackBytes) {
        m_pOutFile->StartWriteback();
        m_nNotWrittenBack = 0;
    }
    if (!m_output.Written(written, size)) {
        Fail(SplitResult::WriteFailed);
        m_bAbort = true;
    }
}

void DvSceneSplitter::CloseOutFile() {
    if (!SceneOpen()) {
        return;
    }
    if (!m_output.Close()) {
        Fail(SplitResult::WriteFailed);
    }
    m_bListSceneOpen = false;
    // Reported once the file is closed, so that a listener may change its times.
    if (m_pLog != nullptr) {
        m_pLog->SceneFinished(m_scene);
    }
}

// The file is gone as if it had never been started, and its number is free for the next job.
void DvSceneSplitter::RemoveEmptyStoppedFile() {
    if (!m_bAbort && m_output.RemoveIfEmpty()) {
        --m_nScenes;
    }
}

void DvSceneSplitter::SyncOutputFolder() {
    if (!m_output.SyncFolder()) {
        Fail(SplitResult::WriteFailed);
    }
}

}  // namespace vornak
