#include "RecordingView.h"

namespace vornak::test {

void RecordingView::Post(std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    m_posted.push_back(std::move(call));
}

void RecordingView::ShowMessage(LogSeverity severity, const std::string& text) {
    ExpectWordsOfSeverity(severity, text);
    boxes.push_back(text);
    boxSeverities.push_back(severity);
}

void RecordingView::AddLog(LogSeverity severity, const std::string& line) {
    ExpectWordsOfSeverity(severity, line);
    std::lock_guard lock(m_mutex);
    m_entries.emplace_back(severity, line);
}

void RecordingView::PostMessage(UINT msg, WPARAM, LPARAM) {
    std::lock_guard lock(m_mutex);
    if (msg == WM_USER) {
        ++m_nMessages;
    }
}

int RecordingView::RunPosted() {
    int ran = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty()) {
                return ran;
            }
            call = std::move(m_posted.front());
            m_posted.pop_front();
        }
        call();
        ++ran;
    }
}

std::vector<std::string> RecordingView::Lines() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    for (const auto& entry : m_entries) {
        lines.push_back(entry.second);
    }
    return lines;
}

std::vector<SeverityLine> RecordingView::Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

int RecordingView::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_nMessages;
}

}  // namespace vornak::test
