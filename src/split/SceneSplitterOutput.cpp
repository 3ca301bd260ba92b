// Scene files: naming, exclusive creation and writing.
#include <cstring>
#include <string>
#include <utility>

#include "SceneFileName.h"
#include "SceneSplitter.h"

namespace vornak {

std::string SceneSplitter::NextFileName(const RecordingDate* date, bool fragment,
                                        bool& counterUsed) {
    counterUsed = true;
    if (fragment) {
        return FragmentFileName(m_baseName, m_extension, m_nCounter++);
    }
    std::string name =
        SceneFileName(m_baseName + NewNameSuffix(m_nNewForm), m_extension, m_nCounter,
                      m_bDateTimeNaming, date, m_dateFormat, counterUsed);
    if (counterUsed) {
        ++m_nCounter;
    }
    return name;
}

void SceneSplitter::OpenNextFile(const RecordingDate* date, bool fragment) {
    m_nCounterBeforeFile = m_nCounter;
    if (!m_bStreamFound) {
        return;  // what has been read so far is no tape; it goes nowhere
    }
    const bool skipped = !m_bListOnly && m_chooseScene && !m_chooseScene(m_nScenes);
    if (m_bListOnly || skipped) {
        if (skipped) {
            // The name this scene would have had is used up, so that the scenes that are
            // written get the very names a full split gives them.
            bool counterUsed = false;
            NextFileName(date, fragment, counterUsed);
        }
        m_bListSceneOpen = true;
        m_tally.Begin(m_nScenes++, std::string(), fragment);
        return;
    }
    bool warned = false;
    for (;;) {
        bool counterUsed = false;
        m_outName = NextFileName(date, fragment, counterUsed);
        // The existence test gives the early warning; the exclusive creation closes the gap
        // between test and creation, so that a file appearing meanwhile is not overwritten.
        const OutputFile::Create result = OutputFile::Exists(m_outName)
                                              ? OutputFile::Create::AlreadyExists
                                              : m_outFile.CreateNew(m_outName);
        switch (result) {
            case OutputFile::Create::Created:
                m_bMadeFiles = true;
                m_bFragmentOpen = fragment;
                Log("Creating new file: " + m_outName);
                m_tally.Begin(m_nScenes++, m_outName, fragment);
                return;
            case OutputFile::Create::Failed:
                // The next name would most likely fail for the same reason (a folder gone or
                // read-only, a name the file system refuses): say so once and end the job.
                Log(LogSeverity::Error, "ERROR: This file can't be created: " + m_outName + " (" +
                                            std::strerror(m_outFile.LastError()) + ")");
                Fail(SplitResult::CreateFailed);
                m_bAbort = true;
                return;
            case OutputFile::Create::AlreadyExists:
                // Said once for the name the file should have had; the free name found then
                // is in the line that creates it.
                if (!warned) {
                    Log(LogSeverity::Warning,
                        "WARNING: This file already exists and won't be overwritten: " + m_outName);
                    warned = true;
                }
                // A date names the same file again, so date naming moves on to the next "-new"
                // form for the rest of the job; a number has moved on by itself.
                if (!counterUsed) {
                    ++m_nNewForm;
                }
                break;
        }
    }
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
    if (m_pLog != nullptr) {
        m_pLog->AddWritten(static_cast<std::uint32_t>(written));
    }
    if (written != wanted) {
        Log(LogSeverity::Error,
            "ERROR: This file can't be written in full (is the disk full?): " + m_outName);
        Fail(SplitResult::WriteFailed);
        m_bAbort = true;
    }
}

void SceneSplitter::CloseOutFile() {
    if (!SceneOpen()) {
        return;
    }
    if (m_outFile.IsOpen() && !m_outFile.Close()) {
        Log(LogSeverity::Error, "ERROR: This file can't be written to the disk: " + m_outName +
                                    " (" + std::strerror(m_outFile.LastError()) + ")");
        Fail(SplitResult::WriteFailed);
    }
    m_bListSceneOpen = false;
    // Reported once the file is closed, so that a listener may change its times.
    const SceneSummary scene = m_tally.End();
    if (std::exchange(m_bFragmentOpen, false)) {
        Log(LogSeverity::Warning, "WARNING: The stream begins inside a picture group: its first " +
                                      std::to_string(scene.length) + " bytes are kept apart in " +
                                      m_outName);
    }
    if (m_pLog != nullptr) {
        m_pLog->SceneFinished(scene);
    }
}

// The file is gone as if it had never been started, and its number is free for the next job.
void SceneSplitter::RemoveEmptyStoppedFile() {
    if (m_bAbort || !m_outFile.RemoveIfEmpty(m_outName)) {
        return;
    }
    (void)m_tally.End();
    m_nCounter = m_nCounterBeforeFile;
    Log("Removed the empty file (the job was stopped before anything went into it): " + m_outName);
}

void SceneSplitter::SyncOutputFolder() {
    if (!m_bMadeFiles) {
        return;
    }
    m_bMadeFiles = false;
    const std::string folder = FolderOf(m_outName);
    if (const int error = m_pDiskSync->SyncFolder(folder); error != 0) {
        Log(LogSeverity::Error, "ERROR: This folder can't be written to the disk: " + folder +
                                    " (" + std::strerror(error) + ")");
        Fail(SplitResult::WriteFailed);
    }
}

}  // namespace vornak
