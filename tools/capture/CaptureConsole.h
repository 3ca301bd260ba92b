// What vornak-capture shows instead of the "Capturing" page: the session's log on standard
// output, its boxes on standard error, a status line on a terminal, and the queue of calls that
// the session and its graph post to the loop's thread.
//
// Threads: the log (LogSink), Post/PostMessage and the file times are called from any thread;
// everything else belongs to the loop's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>

#include "CaptureSession.h"
#include "GraphInterfaces.h"
#include "LogSink.h"
#include "RecordingDate.h"

namespace vornak {

class CaptureConsole : public CaptureView, public LogSink, public INotifyWindow {
  public:
    // What the status line shows.
    struct Status {
        std::string timecode;
        double megabytes = 0;
        int files = 0;
    };

    // `quiet`: only problem lines, on `err`, and no status line. `showStatus`: `err` is a
    // terminal that may carry the status line. `setFileTimes`: each finished scene file takes
    // the recording date of its first date pack as its modification time.
    CaptureConsole(std::ostream& out, std::ostream& err, bool quiet, bool showStatus,
                   bool stopOnDropped, bool setFileTimes);
    CaptureConsole(const CaptureConsole&) = delete;
    CaptureConsole& operator=(const CaptureConsole&) = delete;

    // Standard output and standard error are one terminal: a box that only repeats what the
    // log has just said there is not said again. Set before the session runs.
    void SetOneTerminal(bool one) { m_bOneTerminal = one; }

    // The session that graph events and dropped pictures go to; set before it runs.
    void SetSession(CaptureSession* session) { m_pSession = session; }

    // CaptureView.
    void UpdateControls() override {}
    void ShowMessage(LogSeverity severity, const std::string& text) override;
    void SetDroppedText(const std::string& text) override { m_dropped = text; }
    void SetElapsedText(const std::string& text) override { m_elapsed = text; }
    bool StopOnDropped() const override { return m_bStopOnDropped; }
    // On standard error, as every problem.
    bool ShowDetectionProblem(LogSeverity /*severity*/, const std::string& line) override {
        Problem(line);
        return true;
    }
    void Post(std::function<void()> call) override;

    // LogSink.
    void AddLog(LogSeverity severity, const std::string& line) override;
    void AddWritten(std::uint32_t bytes) override;
    void AddDropped(int pictures) override;
    // Dates the scene file when file times are asked for and the scene has a date.
    void SceneFinished(const SceneSummary& scene) override;

    // Gives the file `date`, read as local time, as its modification time; warns when it cannot.
    void SetFileTime(const std::string& path, const RecordingDate& date);
    // The warning line for a file whose time could not be set.
    void FileTimeNotSet(const std::string& path);

    // INotifyWindow: the graph's event notice becomes a posted OnGraphEvent.
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Runs posted calls as they come until `deadline`, then returns.
    void RunPostedUntil(std::chrono::steady_clock::time_point deadline);
    // Runs the calls posted so far.
    void RunPosted();

    // A line of the program's own on `err` (the status line steps aside for it).
    void Problem(const std::string& text);
    // Draws the status line (when there is one) with the session's last texts.
    void DrawStatus(const Status& status);
    // Draws `text` as the status line (when there is one).
    void DrawStatusText(const std::string& text);
    // Takes the status line off the terminal for good.
    void EndStatus();

    // Scene files created and bytes written by a split run so far.
    int FilesCreated() const { return m_nFilesCreated.load(std::memory_order_relaxed); }
    std::uint64_t BytesWritten() const { return m_nWritten.load(std::memory_order_relaxed); }

    // The status line's text, without the carriage return.
    static std::string StatusText(const Status& status, const std::string& elapsed,
                                  const std::string& dropped);

  private:
    void WriteErr(const std::string& text);
    void ClearStatusLocked();
    bool RepeatsTheLogLocked(const std::string& shown) const;

    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_bQuiet;
    const bool m_bShowStatus;
    const bool m_bStopOnDropped;
    const bool m_bSetFileTimes;
    bool m_bOneTerminal = false;
    CaptureSession* m_pSession = nullptr;

    // The loop's thread only.
    std::string m_dropped = "0";
    std::string m_elapsed = "0:00:00";

    // Both streams, and the status line on `err`.
    std::mutex m_outputLock;
    std::size_t m_nStatusLength = 0;
    bool m_bStatusShown = false;
    std::string m_lastErrText;
    // The last lines the log wrote to `out`, for a box that repeats them on one terminal.
    std::deque<std::string> m_recentLogLines;

    std::mutex m_queueLock;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_calls;

    std::atomic<int> m_nFilesCreated{0};
    std::atomic<std::uint64_t> m_nWritten{0};
};

}  // namespace vornak
