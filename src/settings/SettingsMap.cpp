#include "SettingsMap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

namespace vornak {

namespace {

// Longest line the reader takes; a longer one is cut here and ends the reading.
constexpr std::size_t kMaxLineChars = 1023;
// Temporary names tried beside the settings file before giving up.
constexpr int kTempNameAttempts = 100;
// Read and write permissions for everyone, narrowed by the user's umask like any new file.
constexpr mode_t kNewFileMode = 0666;

enum class LineResult { kLine, kLongLine, kEnd };

// Reads one line without its end (LF or CR LF). A line that the end of the file cuts short,
// without a line end, counts as no line: the writer always ends its lines.
LineResult ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    while (line.size() < kMaxLineChars) {
        int c = std::getc(file);
        if (c == EOF) {
            return LineResult::kEnd;
        }
        if (c == '\n') {
            return LineResult::kLine;
        }
        if (c == '\r') {
            int next = std::getc(file);
            if (next == '\n') {
                return LineResult::kLine;
            }
            if (next != EOF) {
                std::ungetc(next, file);
            }
        }
        line.push_back(static_cast<char>(c));
    }
    // The buffer is full: only a line end right here keeps the line whole, and the end of the
    // file right here cuts it short like any other unfinished line.
    int c = std::getc(file);
    if (c == '\n') {
        return LineResult::kLine;
    }
    if (c == '\r') {
        int next = std::getc(file);
        if (next == '\n') {
            return LineResult::kLine;
        }
        c = next;
    }
    return c == EOF ? LineResult::kEnd : LineResult::kLongLine;
}

void TakeLine(const std::string& line, SettingsMap& map) {
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return;
    }
    // emplace keeps an existing entry, so the first occurrence of a key wins.
    map.emplace(line.substr(0, equals), line.substr(equals + 1));
}

bool WriteAllBytes(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a file beside `path` that nobody else uses; its name goes to `tempPath`.
int CreateTempBeside(const std::string& path, std::string& tempPath) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

void LoadSettingsFile(const std::string& path, SettingsMap& map) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return;
    }
    std::string line;
    for (;;) {
        LineResult result = ReadLine(file, line);
        if (result == LineResult::kEnd) {
            break;
        }
        TakeLine(line, map);
        if (result == LineResult::kLongLine) {
            break;
        }
    }
    std::fclose(file);
}

bool SaveSettingsFile(const std::string& path, const SettingsMap& map) {
    std::string text;
    for (const auto& [key, value] : map) {
        text += key;
        text += '=';
        text += value;
        text += "\r\n";
    }

    std::string tempPath;
    int fd = CreateTempBeside(path, tempPath);
    if (fd < 0) {
        return false;
    }
    // The old file must stay whole until the new one is complete on disk.
    bool ok = WriteAllBytes(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tempPath.c_str(), path.c_str()) == 0) {
        return true;
    }
    ::unlink(tempPath.c_str());
    return false;
}

int StrToIntA(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Unsigned arithmetic wraps on overflow instead of being undefined.
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10U + static_cast<unsigned>(text[i] - '0');
        ++i;
    }
    if (negative) {
        value = 0U - value;
    }
    return static_cast<int>(value);
}

const std::string* FindSetting(const SettingsMap* map, const std::string& key) {
    if (map == nullptr) {
        return nullptr;
    }
    auto found = map->find(key);
    return found == map->end() ? nullptr : &found->second;
}

}  // namespace vornak
