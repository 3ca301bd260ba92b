#include "HealthReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "JsonString.h"

namespace vornak {

namespace {

constexpr int kLayoutVersion = 1;
constexpr int kIndent = 2;

constexpr const char* kReportExists =
    "ERROR: The report file already exists and won't be overwritten: ";
constexpr const char* kNoReportFolder = "ERROR: The folder of the report file does not exist: ";
constexpr const char* kReportNotWritten = "ERROR: The report file could not be written (";

std::string DateText(const RecordingDate& date) {
    // Fields come from BCD digits that are not checked; each still fits in its width.
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    return text;
}

std::string OrNull(const std::optional<RecordingDate>& date) {
    return date ? JsonString(DateText(*date)) : "null";
}

std::string OrNull(const std::optional<dv::DvTimecode>& timecode) {
    return timecode ? JsonString(TimecodeText(*timecode)) : "null";
}

std::string OrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

std::string Bool(bool value) {
    return value ? "true" : "false";
}

// Lays out one object or array: each member on a line of its own, indented by its depth.
class JsonBlock {
  public:
    JsonBlock(std::string& text, int depth, bool object)
        : m_text(text), m_depth(depth), m_bObject(object) {
        m_text += object ? "{" : "[";
    }
    void Member(const std::string& key, const std::string& value) {
        Start();
        m_text += JsonString(key) + ": " + value;
    }
    // An item of an array (or, with `key`, the member) that is a block of its own, opened
    // here; the caller fills it and closes it.
    JsonBlock Open(bool object, const std::string& key = {}) {
        Start();
        if (m_bObject) {
            m_text += JsonString(key) + ": ";
        }
        return JsonBlock(m_text, m_depth + 1, object);
    }
    void Close() {
        if (m_bAny) {
            m_text += "\n" + Indent(m_depth);
        }
        m_text += m_bObject ? "}" : "]";
    }

  private:
    static std::string Indent(int depth) {
        return std::string(static_cast<std::size_t>(depth * kIndent), ' ');
    }
    void Start() {
        m_text += m_bAny ? ",\n" : "\n";
        m_text += Indent(m_depth + 1);
        m_bAny = true;
    }

    std::string& m_text;
    int m_depth;
    bool m_bObject;
    bool m_bAny = false;
};

void AddPlace(JsonBlock& finding, const std::string& key, const HealthPlace& place) {
    JsonBlock block = finding.Open(true, key);
    block.Member("picture", std::to_string(place.picture));
    block.Member("timecode", OrNull(place.timecode));
    block.Member("date", OrNull(place.date));
    block.Member("offset", place.offset >= 0 ? std::to_string(place.offset) : "null");
    block.Close();
}

void AddScene(JsonBlock& scenes, const SceneSummary& scene) {
    JsonBlock block = scenes.Open(true);
    block.Member("number", std::to_string(scene.number));
    block.Member("file", OrNull(scene.path));
    block.Member("fragment", Bool(scene.fragment));
    block.Member("first_date", OrNull(scene.firstDate));
    block.Member("last_date", OrNull(scene.lastDate));
    block.Member("pictures", std::to_string(scene.pictures));
    block.Member("first_timecode", OrNull(scene.firstTimecode));
    std::string starts = "[";
    for (std::size_t i = 0; i < scene.recordingStarts.size(); ++i) {
        starts += (i == 0 ? "" : ", ") + std::to_string(scene.recordingStarts[i]);
    }
    block.Member("rec_start", starts + "]");
    block.Member("checked", Bool(scene.healthChecked));
    block.Member("clean", scene.healthChecked ? Bool(scene.findings.empty()) : "null");
    JsonBlock findings = block.Open(false, "findings");
    for (const HealthFinding& finding : scene.findings) {
        JsonBlock item = findings.Open(true);
        item.Member("kind", JsonString(HealthKindName(finding.kind)));
        item.Member("count", std::to_string(finding.count));
        AddPlace(item, "first", finding.first);
        AddPlace(item, "last", finding.last);
        item.Close();
    }
    findings.Close();
    block.Close();
}

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One input's scenes, for people.
std::string InputSummary(const HealthReportInput& input) {
    std::size_t damaged = 0;
    std::size_t unchecked = 0;
    for (const SceneSummary& scene : input.scenes) {
        damaged += scene.findings.empty() ? 0 : 1;
        unchecked += scene.healthChecked || !scene.findings.empty() ? 0 : 1;
    }
    const std::size_t count = input.scenes.size();
    std::string text;
    if (count == 0) {
        text = "no scenes";
    } else if (damaged == 0 && unchecked == 0) {
        text = count == 1 ? "1 scene, clean" : std::to_string(count) + " scenes, all clean";
    } else {
        text = Plural(count, "scene", "scenes");
        if (damaged > 0) {
            text += ", " + std::to_string(damaged) + " with damage";
        }
        if (unchecked == count) {
            text += ", not checked for damage";
        } else if (unchecked > 0) {
            text += ", " + std::to_string(unchecked) + " not checked";
        }
    }
    std::size_t named = 0;
    for (const SceneSummary& scene : input.scenes) {
        if (scene.findings.empty() || named == HealthReport::kScenesNamed) {
            continue;
        }
        text += named == 0 ? ": " : "; ";
        text += "scene " + std::to_string(scene.number) + ": ";
        const std::size_t shown = std::min(scene.findings.size(), HealthReport::kFindingsNamed);
        for (std::size_t i = 0; i < shown; ++i) {
            text += (i == 0 ? "" : ", ") + DescribeFinding(scene.findings[i]);
        }
        if (scene.findings.size() > shown) {
            text += " and " + std::to_string(scene.findings.size() - shown) + " more";
        }
        ++named;
    }
    if (damaged > named) {
        text += "; and " + Plural(damaged - named, "more scene", "more scenes") + " with damage";
    }
    if (!input.complete) {
        text += " (not read to its end)";
    }
    return text;
}

std::string SystemReason(int error) {
    return std::strerror(error);
}

// Writes all of `text` to `fd`, resuming short and interrupted writes.
bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (wrote == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

std::string HealthReport::Json(std::span<const HealthReportInput> inputs) {
    std::string text;
    JsonBlock document(text, 0, true);
    document.Member("vornak_health_report", std::to_string(kLayoutVersion));
    JsonBlock list = document.Open(false, "inputs");
    for (const HealthReportInput& input : inputs) {
        JsonBlock entry = list.Open(true);
        entry.Member("path", JsonString(input.path));
        entry.Member("format",
                     input.scenes.empty() ? "null" : JsonString(input.IsDv() ? "DV" : "HDV"));
        entry.Member("complete", Bool(input.complete));
        JsonBlock scenes = entry.Open(false, "scenes");
        for (const SceneSummary& scene : input.scenes) {
            AddScene(scenes, scene);
        }
        scenes.Close();
        entry.Close();
    }
    list.Close();
    document.Member("summary", JsonString(Summary(inputs)));
    document.Close();
    return text + "\n";
}

std::string HealthReport::Summary(std::span<const HealthReportInput> inputs) {
    std::string text;
    for (const HealthReportInput& input : inputs) {
        if (!text.empty()) {
            text += "\n";
        }
        text += (inputs.size() > 1 ? input.path + ": " : "") + InputSummary(input);
    }
    return text;
}

bool HealthReport::AnyDamage(std::span<const HealthReportInput> inputs) {
    return std::any_of(inputs.begin(), inputs.end(), [](const HealthReportInput& input) {
        return std::any_of(input.scenes.begin(), input.scenes.end(),
                           [](const SceneSummary& scene) { return !scene.findings.empty(); });
    });
}

std::string HealthReport::PathProblem(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return kReportExists + path;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        return kNoReportFolder + path;
    }
    return {};
}

bool HealthReport::Write(const std::string& path, std::span<const HealthReportInput> inputs,
                         std::string& reason) {
    const std::string text = Json(inputs);
    // O_EXCL: a file that appeared since it was checked is still never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = errno == EEXIST ? kReportExists + path
                                 : kReportNotWritten + SystemReason(errno) + "): " + path;
        return false;
    }
    bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        // Ours, and cut short: a report that stops halfway would read as a whole one.
        ::unlink(path.c_str());
        reason = kReportNotWritten + SystemReason(error) + "): " + path;
        return false;
    }
    return true;
}

}  // namespace vornak
