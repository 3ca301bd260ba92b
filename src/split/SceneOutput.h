// The scene files of one job, HDV or DV alike: their names (a count or the recording date),
// "-new" names where a file exists, exclusive creation so that nothing is ever overwritten,
// the lines that say each step, flushing every file and then its folder, and taking an empty
// file away again after a stop. What goes into a file is the job's and its SceneFile's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "DiskSync.h"
#include "LogSink.h"
#include "RecordingDate.h"
#include "SceneFile.h"

namespace vornak {

class SceneOutput {
  public:
    struct Naming {
        std::string baseName;
        std::string extension;
        std::string dateFormat;
        bool dateTimeNaming = false;
        std::int32_t firstCounter = 0;
    };

    explicit SceneOutput(Naming naming);

    void SetLog(LogSink* log) { m_pLog = log; }
    // The file each scene goes into; must stay alive while the job runs.
    void SetFile(SceneFile* file) { m_pFile = file; }
    // Where the folder of the created files is flushed to; the system's disk unless a test puts
    // something in between.
    void SetDiskSync(DiskSync* sync) { m_pDiskSync = sync; }
    // A new run: "-new" forms start over, no file is made yet. The counter goes on.
    void BeginRun() {
        m_nNewForm = 0;
        m_bMadeFiles = false;
    }

    std::int32_t Counter() const { return m_nCounter; }
    const std::string& Name() const { return m_name; }
    bool DateTimeNaming() const { return m_bDateTimeNaming; }

    // Uses up the name a scene that is not written would have had, so that the scenes that are
    // written get the very names a full split gives them. `fragment`: the bytes before a
    // stream's first picture group.
    void SkipName(const RecordingDate* date, bool fragment);
    // Creates the scene's file under the first free name; false when it can't be created, which
    // is said. The next name would most likely fail for the same reason.
    bool Open(const RecordingDate* date, bool fragment);
    // Counts what a write put into the file; false (said) when it is less than wanted.
    bool Written(std::size_t written, std::size_t wanted);
    // Flushes and closes the open file; false (said) when its data can't be flushed.
    bool Close();
    // Takes the open file away when nothing went into it, and frees its number; true when it
    // was removed (said).
    bool RemoveIfEmpty();
    // Makes the names of the files this run created as safe as their data; false (said) when
    // the folder can't be flushed.
    bool SyncFolder();

  private:
    // The next name to try; uses up the counter value when the name holds it.
    std::string NextName(const RecordingDate* date, bool fragment, bool& counterUsed);
    void Log(LogSeverity severity, const std::string& line) const;

    std::string m_baseName;
    std::string m_extension;
    std::string m_dateFormat;
    bool m_bDateTimeNaming = false;
    std::int32_t m_nCounter = 0;
    std::int32_t m_nNewForm = 0;            // date naming: which "-new" form a name clash moved to
    std::int32_t m_nCounterBeforeFile = 0;  // the file number before the open file was named
    std::string m_name;                     // the open (or last) file's name
    bool m_bMadeFiles = false;              // a scene file was created in this run
    SceneFile* m_pFile = nullptr;
    LogSink* m_pLog = nullptr;
    DiskSync* m_pDiskSync = &DiskSync::System();
};

}  // namespace vornak
