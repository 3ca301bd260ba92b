// Scene files: what the transport-stream job puts into them, through its scene output.
#include <string>
#include <utility>

#include "SceneSplitter.h"

namespace vornak {

void SceneSplitter::OpenNextFile(const RecordingDate* date, bool fragment) {
    if (!m_bStreamFound) {
        return;  // what has been read so far is no tape; it goes nowhere
    }
    const bool skipped = !m_bListOnly && m_chooseScene && !m_chooseScene(m_nScenes);
    if (m_bListOnly || skipped) {
        if (skipped) {
            m_output.SkipName(date, fragment);
        }
        m_bListSceneOpen = true;
        m_tally.Begin(m_nScenes++, std::string(), fragment);
        return;
    }
    if (!m_output.Open(date, fragment)) {
        Fail(SplitResult::CreateFailed);
        m_bAbort = true;
        return;
    }
    m_bFragmentOpen = fragment;
    m_tally.Begin(m_nScenes++, m_output.Name(), fragment);
}

// The committed bytes go into the open scene file, which the first write opens; what cannot be
// written is given up, as the caller moves on past it.
void SceneSplitter::WritePending() {
    if (m_pPendBegin == nullptr || m_pPendEnd == nullptr || m_pPendEnd <= m_pPendBegin) {
        return;
    }
    const std::uint64_t end = PlainPos(m_pPendEnd);
    if (!m_bAbort && !SceneOpen()) {
        const bool fragment = FragmentAhead();
        OpenNextFile(fragment ? nullptr : FirstSceneDate(), fragment);
    }
    if (m_bAbort || !SceneOpen()) {
        m_tally.Settle(end, false);
        return;
    }
    const auto size = static_cast<std::size_t>(m_pPendEnd - m_pPendBegin);
    m_tally.AddBytes(static_cast<std::int64_t>(PlainPos(m_pPendBegin)), size);
    WriteOut(m_pPendBegin, size);
    m_tally.Settle(end, true);
}

// A scene that is listed or skipped goes nowhere; its bytes still count as done, so that the
// progress follows the input.
void SceneSplitter::WriteOut(const std::uint8_t* data, std::size_t size) {
    ReportWritten(m_bListSceneOpen ? size : m_outFile.Write(data, size), size);
}

void SceneSplitter::ReportWritten(std::size_t written, std::size_t wanted) {
    if (!m_output.Written(written, wanted)) {
        Fail(SplitResult::WriteFailed);
        m_bAbort = true;
    }
}

void SceneSplitter::CloseOutFile() {
    if (!SceneOpen()) {
        return;
    }
    if (!m_output.Close()) {
        Fail(SplitResult::WriteFailed);
    }
    m_bListSceneOpen = false;
    // Reported once the file is closed, so that a listener may change its times.
    const SceneSummary scene = m_tally.End();
    if (std::exchange(m_bFragmentOpen, false)) {
        Log(LogSeverity::Warning, "WARNING: The stream begins inside a picture group: its first " +
                                      std::to_string(scene.length) + " bytes are kept apart in " +
                                      m_output.Name());
    }
    if (m_pLog != nullptr) {
        m_pLog->SceneFinished(scene);
    }
}

// The file is gone as if it had never been started, and its number is free for the next job.
void SceneSplitter::RemoveEmptyStoppedFile() {
    if (!m_bAbort && m_output.RemoveIfEmpty()) {
        (void)m_tally.End();
    }
}

void SceneSplitter::SyncOutputFolder() {
    if (!m_output.SyncFolder()) {
        Fail(SplitResult::WriteFailed);
    }
}

}  // namespace vornak
