// The log a capture run's health report is gathered through: it passes a job's reports on and
// keeps the scenes the job finished, for the report written at the end of the run.
//
// Threading: the job's thread only (the sink it passes on to takes calls from any thread).
#pragma once

#include <string>
#include <vector>

#include "HealthReportInput.h"
#include "LogSink.h"

namespace vornak {

class HealthSceneLog : public LogSink {
  public:
    // `next` (may be null) gets every report; with `linesToo` false, only its problems (a
    // listing that reads a file back has nothing to say that the run has not said).
    HealthSceneLog(LogSink* next, bool linesToo) : m_pNext(next), m_bLinesToo(linesToo) {}

    // The scenes that follow belong to this input: the live stream, or a file read back.
    void StartInput(const std::string& path);
    // The input ended before its end (its job failed, or was stopped).
    void MarkIncomplete();

    void AddLog(LogSeverity severity, const std::string& line) override;
    void AddWritten(std::uint32_t bytes) override;
    void AddDropped(int pictures) override;
    void SceneFinished(const SceneSummary& scene) override;

    const std::vector<HealthReportInput>& Inputs() const { return m_inputs; }

  private:
    LogSink* m_pNext;
    bool m_bLinesToo;
    std::vector<HealthReportInput> m_inputs;
};

}  // namespace vornak
