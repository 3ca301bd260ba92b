#include "CaptureConsole.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>
#include <vector>

#include "DatePack.h"
#include "LogLineToText.h"

namespace vornak {
namespace {

constexpr char kNewFilePrefix[] = "Creating new file: ";
// Enough for the lines a run's end or a refusal logs before its box.
constexpr std::size_t kRecentLogLines = 8;

// The text after the line breaks a report may start with.
std::size_t TextStart(const std::string& line) {
    const std::size_t start = line.find_first_not_of("\r\n");
    return start == std::string::npos ? line.size() : start;
}

bool StartsWith(const std::string& line, std::size_t at, const char* prefix) {
    return line.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Each line of the text without the blanks and the full stop around it; empty lines left out.
// A box says "End of capturing." where the log said "End of capturing".
std::vector<std::string> PlainLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        while (!line.empty() &&
               (line.back() == '.' || std::isspace(static_cast<unsigned char>(line.back())) != 0)) {
            line.pop_back();
        }
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos) {
            lines.push_back(line.substr(first));
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

CaptureConsole::CaptureConsole(std::ostream& out, std::ostream& err, bool quiet, bool showStatus,
                               bool stopOnDropped, bool setFileTimes)
    : m_out(out),
      m_err(err),
      m_bQuiet(quiet),
      m_bShowStatus(showStatus && !quiet),
      m_bStopOnDropped(stopOnDropped),
      m_bSetFileTimes(setFileTimes) {}

void CaptureConsole::AddLog(LogSeverity severity, const std::string& line) {
    if (StartsWith(line, TextStart(line), kNewFilePrefix)) {
        m_nFilesCreated.fetch_add(1, std::memory_order_relaxed);
    }
    if (m_bQuiet && !IsProblem(severity)) {
        return;
    }
    std::lock_guard lock(m_outputLock);
    ClearStatusLocked();
    if (m_bQuiet) {
        // Alone on stderr, the blank line a report may start with only adds noise.
        WriteErr(LogLineToText(line.substr(TextStart(line))));
    } else {
        const std::string text = LogLineToText(line);
        m_out << text;
        m_out.flush();
        if (m_bOneTerminal) {
            for (std::string& plain : PlainLines(text)) {
                m_recentLogLines.push_back(std::move(plain));
                if (m_recentLogLines.size() > kRecentLogLines) {
                    m_recentLogLines.pop_front();
                }
            }
        }
    }
}

void CaptureConsole::AddWritten(std::uint32_t bytes) {
    m_nWritten.fetch_add(bytes, std::memory_order_relaxed);
}

void CaptureConsole::AddDropped(int pictures) {
    if (m_pSession != nullptr) {
        m_pSession->AddEngineDropped(pictures);
    }
}

void CaptureConsole::SceneFinished(const SceneSummary& scene) {
    // A scene without a date pack keeps the time it was written at.
    if (m_bSetFileTimes && scene.firstDate && !scene.path.empty()) {
        SetFileTime(scene.path, *scene.firstDate);
    }
}

void CaptureConsole::SetFileTime(const std::string& path, const RecordingDate& date) {
    if (!SetModificationTime(path, date)) {
        FileTimeNotSet(path);
    }
}

void CaptureConsole::FileTimeNotSet(const std::string& path) {
    // A log line like the session's own warnings: shown even with --quiet, and no reason to
    // end the capture.
    AddLog(LogSeverity::Warning, std::string(kFileTimeNotSet) + path);
}

void CaptureConsole::ShowMessage(LogSeverity severity, const std::string& text) {
    if (m_bQuiet && !IsProblem(severity)) {
        return;
    }
    const std::string shown = LogLineToText(text);
    std::lock_guard lock(m_outputLock);
    // The session logs an error and then shows it in a box: on stderr once is enough, and on
    // a terminal that the log goes to as well, the log's lines are enough.
    if (shown == m_lastErrText || RepeatsTheLogLocked(shown)) {
        return;
    }
    ClearStatusLocked();
    WriteErr(shown);
}

bool CaptureConsole::RepeatsTheLogLocked(const std::string& shown) const {
    if (!m_bOneTerminal) {
        return false;
    }
    const std::vector<std::string> lines = PlainLines(shown);
    return !lines.empty() && std::all_of(lines.begin(), lines.end(), [this](const auto& line) {
        return std::find(m_recentLogLines.begin(), m_recentLogLines.end(), line) !=
               m_recentLogLines.end();
    });
}

void CaptureConsole::Problem(const std::string& text) {
    std::lock_guard lock(m_outputLock);
    ClearStatusLocked();
    WriteErr(LogLineToText(text));
}

void CaptureConsole::WriteErr(const std::string& text) {
    m_err << text;
    m_err.flush();
    m_lastErrText = text;
}

void CaptureConsole::Post(std::function<void()> call) {
    {
        std::lock_guard lock(m_queueLock);
        m_calls.push_back(std::move(call));
    }
    m_queued.notify_one();
}

void CaptureConsole::PostMessage(UINT msg, WPARAM, LPARAM) {
    if (msg != WM_USER) {
        return;
    }
    Post([this] {
        if (m_pSession != nullptr) {
            m_pSession->OnGraphEvent();
        }
    });
}

void CaptureConsole::RunPostedUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_queueLock);
    while (m_queued.wait_until(lock, deadline, [this] { return !m_calls.empty(); })) {
        std::function<void()> call = std::move(m_calls.front());
        m_calls.pop_front();
        // A call may post again, or wait for a thread that posts.
        lock.unlock();
        call();
        lock.lock();
    }
}

void CaptureConsole::RunPosted() {
    RunPostedUntil(std::chrono::steady_clock::now());
}

std::string CaptureConsole::StatusText(const Status& status, const std::string& elapsed,
                                       const std::string& dropped) {
    char megabytes[sizeof "18446744073709551615.0"];
    std::snprintf(megabytes, sizeof megabytes, "%.1f", status.megabytes);
    return status.timecode + "  elapsed " + elapsed + "  " + megabytes + " MB  " +
           std::to_string(status.files) + (status.files == 1 ? " file" : " files") + "  dropped " +
           dropped;
}

void CaptureConsole::DrawStatus(const Status& status) {
    if (!m_bShowStatus) {
        return;
    }
    DrawStatusText(StatusText(status, m_elapsed, m_dropped));
}

void CaptureConsole::DrawStatusText(const std::string& text) {
    if (!m_bShowStatus) {
        return;
    }
    std::lock_guard lock(m_outputLock);
    // A shorter line must cover the whole of the last one.
    const std::size_t padding = m_nStatusLength > text.size() ? m_nStatusLength - text.size() : 0;
    m_err << '\r' << text << std::string(padding, ' ');
    m_err.flush();
    m_nStatusLength = text.size() + padding;
    m_bStatusShown = true;
}

void CaptureConsole::EndStatus() {
    std::lock_guard lock(m_outputLock);
    ClearStatusLocked();
}

void CaptureConsole::ClearStatusLocked() {
    if (!m_bStatusShown) {
        return;
    }
    m_err << '\r' << std::string(m_nStatusLength, ' ') << '\r';
    m_err.flush();
    m_bStatusShown = false;
    m_nStatusLength = 0;
}

}  // namespace vornak
