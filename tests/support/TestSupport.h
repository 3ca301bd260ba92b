// Shared pieces of the unit tests: a log sink that records, a scratch folder, file helpers.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "LogSink.h"
#include "RecordingDate.h"
#include "SceneSplitterSettings.h"
#include "TapeWriter.h"

namespace vornak::test {

// A recording date from its fields in the usual order.
RecordingDate MakeRecordingDate(int year, int month, int day, int hour, int minute, int second);
// "2006-05-01T14:03:59".
std::string IsoText(const tape::DateTime& date);
std::string IsoText(const RecordingDate& date);

// A line as a log sink got it.
using SeverityLine = std::pair<LogSeverity, std::string>;

// Fails the test when the words of `line` do not begin as its severity says, the user's only
// way of telling: a problem line with its prefix after any leading line breaks, an Info line
// with none of the problem prefixes.
void ExpectWordsOfSeverity(LogSeverity severity, const std::string& line);

// Records every report so that tests can check exact texts; each line's words must match its
// severity.
class CapturingLog : public LogSink {
  public:
    void AddLog(LogSeverity severity, const std::string& line) override;
    void AddWritten(std::uint32_t bytes) override;
    void AddDropped(int pictures) override;
    void SceneFinished(const SceneSummary& scene) override;

    std::vector<std::string> Lines() const;
    // The lines with their severities.
    std::vector<SeverityLine> Entries() const;
    std::uint64_t Written() const;
    int Dropped() const;
    std::vector<SceneSummary> Scenes() const;
    // Lines that begin with `prefix`, in order.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

  private:
    mutable std::mutex m_mutex;
    std::vector<SeverityLine> m_entries;
    std::uint64_t m_written = 0;
    int m_dropped = 0;
    std::vector<SceneSummary> m_scenes;
};

// Sets the stop byte the moment a chosen line is logged, as a user's Stop button would.
class StoppingLog : public CapturingLog {
  public:
    StoppingLog(StopFlag& stop, std::string trigger)
        : m_stop(stop), m_trigger(std::move(trigger)) {}
    void AddLog(LogSeverity severity, const std::string& line) override {
        CapturingLog::AddLog(severity, line);
        if (line == m_trigger) {
            m_stop.store(1);
        }
    }

  private:
    StopFlag& m_stop;
    std::string m_trigger;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<std::uint8_t>& data);
// The same for text files.
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// Names (not paths) of the regular files in `dir`, sorted.
std::vector<std::string> ListFiles(const std::string& dir);
// The contents of the named files in `dir`, in the order given, back to back.
std::vector<std::uint8_t> Concat(const std::string& dir, const std::vector<std::string>& names);

// Caps the size of files this process may write, as a full disk would, for the life of the
// object. SIGXFSZ is ignored meanwhile, so that a write comes out short instead.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Ok() const { return m_ok; }

  private:
    std::uint64_t m_oldLimit = 0;
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// Pins the local time zone for the life of the object, so date arithmetic is the same anywhere.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

  private:
    std::string m_old;
    bool m_hadOld = false;
};

// Sets (or, with null, removes) one environment variable for the life of the object.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// Makes `dir` the current directory for the life of the object.
class ScopedWorkingDir {
  public:
    explicit ScopedWorkingDir(const std::string& dir);
    ~ScopedWorkingDir();
    ScopedWorkingDir(const ScopedWorkingDir&) = delete;
    ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

  private:
    std::string m_previous;
};

}  // namespace vornak::test
