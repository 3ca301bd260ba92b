// A capture view for the session tests: counts control updates, records boxes and texts, and
// keeps posted calls until the test runs them, as a window's event loop would.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureSession.h"
#include "GraphInterfaces.h"
#include "LogSink.h"
#include "TestSupport.h"

namespace vornak::test {

class RecordingView : public CaptureView, public LogSink, public INotifyWindow {
  public:
    void UpdateControls() override { ++updates; }
    void ShowMessage(LogSeverity severity, const std::string& text) override;
    void SetDroppedText(const std::string& text) override { dropped = text; }
    void SetElapsedText(const std::string& text) override { elapsed = text; }
    bool StopOnDropped() const override { return stopOnDropped; }
    void Post(std::function<void()> call) override;

    void AddLog(LogSeverity severity, const std::string& line) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Runs the calls posted so far, in order; returns how many ran.
    int RunPosted();
    std::vector<std::string> Lines() const;
    // The lines with their severities.
    std::vector<SeverityLine> Entries() const;
    int Messages() const;

    int updates = 0;
    std::vector<std::string> boxes;
    std::vector<LogSeverity> boxSeverities;  // of `boxes`, in the same order
    std::string dropped;
    std::string elapsed;
    bool stopOnDropped = false;

  private:
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_posted;
    std::vector<SeverityLine> m_entries;
    int m_nMessages = 0;
};

}  // namespace vornak::test
