#include "SceneOutput.h"

#include <cstring>
#include <utility>

#include "OutputFile.h"
#include "SceneFileName.h"

namespace vornak {

SceneOutput::SceneOutput(Naming naming)
    : m_baseName(std::move(naming.baseName)),
      m_extension(std::move(naming.extension)),
      m_dateFormat(std::move(naming.dateFormat)),
      m_bDateTimeNaming(naming.dateTimeNaming),
      m_nCounter(naming.firstCounter) {}

void SceneOutput::Log(LogSeverity severity, const std::string& line) const {
    if (m_pLog != nullptr) {
        m_pLog->AddLog(severity, line);
    }
}

std::string SceneOutput::NextName(const RecordingDate* date, bool fragment, bool& counterUsed) {
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

void SceneOutput::SkipName(const RecordingDate* date, bool fragment) {
    m_nCounterBeforeFile = m_nCounter;
    bool counterUsed = false;
    (void)NextName(date, fragment, counterUsed);
}

bool SceneOutput::Open(const RecordingDate* date, bool fragment) {
    m_nCounterBeforeFile = m_nCounter;
    bool warned = false;
    for (;;) {
        bool counterUsed = false;
        m_name = NextName(date, fragment, counterUsed);
        // The existence test gives the early warning; the exclusive creation closes the gap
        // between test and creation, so that a file appearing meanwhile is not overwritten.
        const SceneFile::Create result = OutputFile::Exists(m_name)
                                             ? SceneFile::Create::AlreadyExists
                                             : m_pFile->CreateNew(m_name);
        switch (result) {
            case SceneFile::Create::Created:
                m_bMadeFiles = true;
                Log(LogSeverity::Info, "Creating new file: " + m_name);
                return true;
            case SceneFile::Create::Failed:
                // A folder gone or read-only, a name the file system refuses: said once.
                Log(LogSeverity::Error, "ERROR: This file can't be created: " + m_name + " (" +
                                            m_pFile->Reason() + ")");
                return false;
            case SceneFile::Create::AlreadyExists:
                // Said once for the name the file should have had; the free name found then
                // is in the line that creates it.
                if (!warned) {
                    Log(LogSeverity::Warning,
                        "WARNING: This file already exists and won't be overwritten: " + m_name);
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

bool SceneOutput::Written(std::size_t written, std::size_t wanted) {
    if (m_pLog != nullptr) {
        m_pLog->AddWritten(static_cast<std::uint32_t>(written));
    }
    if (written == wanted) {
        return true;
    }
    Log(LogSeverity::Error,
        "ERROR: This file can't be written in full (is the disk full?): " + m_name);
    return false;
}

bool SceneOutput::Close() {
    if (!m_pFile->IsOpen() || m_pFile->Close()) {
        return true;
    }
    Log(LogSeverity::Error, "ERROR: This file can't be written to the disk: " + m_name + " (" +
                                m_pFile->Reason() + ")");
    return false;
}

// The file is gone as if it had never been started, and its number is free for the next job.
bool SceneOutput::RemoveIfEmpty() {
    if (!m_pFile->RemoveIfEmpty(m_name)) {
        return false;
    }
    m_nCounter = m_nCounterBeforeFile;
    Log(LogSeverity::Info,
        "Removed the empty file (the job was stopped before anything went into it): " + m_name);
    return true;
}

bool SceneOutput::SyncFolder() {
    if (!m_bMadeFiles) {
        return true;
    }
    m_bMadeFiles = false;
    const std::string folder = FolderOf(m_name);
    if (const int error = m_pDiskSync->SyncFolder(folder); error != 0) {
        Log(LogSeverity::Error, "ERROR: This folder can't be written to the disk: " + folder +
                                    " (" + std::strerror(error) + ")");
        return false;
    }
    return true;
}

}  // namespace vornak
