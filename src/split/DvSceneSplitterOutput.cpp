// DV scene files: naming, exclusive creation, writing and flushing, as the transport-stream job
// does them and says them.
#include <cstring>
#include <string>

#include "DvSceneSplitter.h"
#include "SceneFileName.h"

namespace vornak {

std::string DvSceneSplitter::NextFileName(const RecordingDate* date, bool& counterUsed) {
    std::string name =
        SceneFileName(m_baseName + NewNameSuffix(m_nNewForm), m_extension, m_nCounter,
                      m_bDateTimeNaming, date, m_dateFormat, counterUsed);
    if (counterUsed) {
        ++m_nCounter;
    }
    return name;
}

void DvSceneSplitter::OpenSceneFile() {
    m_nCounterBeforeFile = m_nCounter;
    const RecordingDate* date = m_sceneDate ? &*m_sceneDate : nullptr;
    const bool skipped = !m_bListOnly && m_chooseScene && !m_chooseScene(m_nScenes);
    m_scene.number = m_nScenes;
    if (m_bListOnly || skipped) {
        if (skipped) {
            // The name this scene would have had is used up, so that the scenes that are
            // written get the very names a full split gives them.
            bool counterUsed = false;
            NextFileName(date, counterUsed);
        }
        ++m_nScenes;
        m_bListSceneOpen = true;
        m_scene.path.clear();
        return;
    }
    bool warned = false;
    for (;;) {
        bool counterUsed = false;
        m_outName = NextFileName(date, counterUsed);
        // The existence test gives the early warning; the exclusive creation closes the gap
        // between test and creation, so that a file appearing meanwhile is not overwritten.
        const OutputFile::Create result = OutputFile::Exists(m_outName)
                                              ? OutputFile::Create::AlreadyExists
                                              : m_pOutFile->CreateNew(m_outName);
        switch (result) {
            case OutputFile::Create::Created:
                m_bMadeFiles = true;
                ++m_nScenes;
                m_scene.path = m_outName;
                Log("Creating new file: " + m_outName);
                return;
            case OutputFile::Create::Failed:
                // The next name would most likely fail for the same reason: say so once and
                // end the job.
                Log(LogSeverity::Error, "ERROR: This file can't be created: " + m_outName + " (" +
                                            m_pOutFile->Reason() + ")");
                Fail(SplitResult::CreateFailed);
                m_bAbort = true;
                return;
            case OutputFile::Create::AlreadyExists:
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

// A scene that is listed or skipped goes nowhere; its bytes still count as done, so that the
// progress follows the input.
void DvSceneSplitter::WriteOut(const std::uint8_t* data, std::size_t size) {
    const std::size_t written = m_bListSceneOpen ? size : m_pOutFile->Write(data, size);
    m_nNotWrittenBack += m_bListSceneOpen ? 0 : written;
    if (m_nNotWrittenBack >= kWritebackBytes) {
        m_pOutFile->StartWriteback();
        m_nNotWrittenBack = 0;
    }
    if (m_pLog != nullptr) {
        m_pLog->AddWritten(static_cast<std::uint32_t>(written));
    }
    if (written != size) {
        Log(LogSeverity::Error,
            "ERROR: This file can't be written in full (is the disk full?): " + m_outName);
        Fail(SplitResult::WriteFailed);
        m_bAbort = true;
    }
}

void DvSceneSplitter::CloseOutFile() {
    if (!SceneOpen()) {
        return;
    }
    if (m_pOutFile->IsOpen() && !m_pOutFile->Close()) {
        Log(LogSeverity::Error, "ERROR: This file can't be written to the disk: " + m_outName +
                                    " (" + m_pOutFile->Reason() + ")");
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
    if (m_bAbort || !m_pOutFile->RemoveIfEmpty(m_outName)) {
        return;
    }
    m_nCounter = m_nCounterBeforeFile;
    --m_nScenes;
    Log("Removed the empty file (the job was stopped before anything went into it): " + m_outName);
}

void DvSceneSplitter::SyncOutputFolder() {
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
