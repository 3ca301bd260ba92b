#include "TestSupport.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

#include <gtest/gtest.h>

namespace vornak::test {

RecordingDate MakeRecordingDate(int year, int month, int day, int hour, int minute, int second) {
    RecordingDate d;
    d.year = year;
    d.month = month;
    d.day = day;
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    return d;
}

std::string IsoText(const tape::DateTime& d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day,
                  d.hour, d.minute, d.second);
    return text;
}

std::string IsoText(const RecordingDate& d) {
    return IsoText(tape::DateTime{d.year, d.month, d.day, d.hour, d.minute, d.second});
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldLimit = limit.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_oldLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

void ExpectWordsOfSeverity(LogSeverity severity, const std::string& line) {
    const std::string_view words =
        std::string_view(line).substr(std::min(line.find_first_not_of("\r\n"), line.size()));
    if (severity != LogSeverity::Info) {
        EXPECT_TRUE(words.starts_with(SeverityPrefix(severity)))
            << "severity " << static_cast<int>(severity) << ": " << line;
        return;
    }
    for (const LogSeverity problem :
         {LogSeverity::Warning, LogSeverity::Error, LogSeverity::Fatal}) {
        EXPECT_FALSE(words.starts_with(SeverityPrefix(problem))) << "an Info line: " << line;
    }
}

void CapturingLog::AddLog(LogSeverity severity, const std::string& line) {
    ExpectWordsOfSeverity(severity, line);
    std::lock_guard lock(m_mutex);
    m_entries.emplace_back(severity, line);
}

void CapturingLog::AddWritten(std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    m_written += bytes;
}

void CapturingLog::AddDropped(int pictures) {
    std::lock_guard lock(m_mutex);
    m_dropped += pictures;
}

void CapturingLog::SceneFinished(const SceneSummary& scene) {
    std::lock_guard lock(m_mutex);
    m_scenes.push_back(scene);
}

std::vector<SceneSummary> CapturingLog::Scenes() const {
    std::lock_guard lock(m_mutex);
    return m_scenes;
}

std::vector<std::string> CapturingLog::Lines() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    for (const auto& entry : m_entries) {
        lines.push_back(entry.second);
    }
    return lines;
}

std::vector<SeverityLine> CapturingLog::Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::uint64_t CapturingLog::Written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}

int CapturingLog::Dropped() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

std::vector<std::string> CapturingLog::LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : Lines()) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vornak-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> Concat(const std::string& dir, const std::vector<std::string>& names) {
    std::vector<std::uint8_t> all;
    for (const auto& name : names) {
        const auto part = ReadAll(dir + "/" + name);
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        m_old = old;
        m_hadOld = true;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (m_hadOld) {
        ::setenv("TZ", m_old.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_old = old;
        m_hadOld = true;
    }
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    if (m_hadOld) {
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

ScopedWorkingDir::ScopedWorkingDir(const std::string& dir)
    : m_previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedWorkingDir::~ScopedWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}

}  // namespace vornak::test
