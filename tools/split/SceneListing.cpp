#include "SceneListing.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "JsonString.h"

namespace vornak {

namespace {

constexpr int kJsonIndent = 2;
constexpr const char* kNoDate = "-";

// Keys keep the order in which they are set, the order the README shows.
using JsonValue = nlohmann::ordered_json;

std::string TableDate(const std::optional<RecordingDate>& date) {
    if (!date) {
        return kNoDate;
    }
    std::string text = IsoDateTime(*date);
    text[text.find('T')] = ' ';
    return text;
}

JsonValue JsonDate(const std::optional<RecordingDate>& date) {
    return date ? JsonValue(IsoDateTime(*date)) : JsonValue(nullptr);
}

// A DV field a scene may lack (an aspect no frame said, a timecode no frame carried).
JsonValue JsonText(const std::string& text) {
    return text.empty() ? JsonValue(nullptr) : JsonValue(text);
}

std::string OrNone(const std::string& text) {
    return text.empty() ? kNoDate : text;
}

// The columns a DV table adds: system, aspect, first and last timecode, frames with damaged
// video and with damaged audio.
constexpr const char* kDvColumns = "  %-6s %-6s %-14s %-14s %13s %13s";

// The document laid out as nlohmann's dump lays it out, with the strings written by JsonString.
void AppendJson(const JsonValue& value, int depth, std::string& text) {
    if (value.is_string()) {
        text += JsonString(value.get_ref<const std::string&>());
        return;
    }
    if (!value.is_object() && !value.is_array()) {
        text += value.dump();  // numbers, null
        return;
    }
    const bool object = value.is_object();
    if (value.empty()) {
        text += object ? "{}" : "[]";
        return;
    }
    text += object ? "{\n" : "[\n";
    const std::string indent(static_cast<std::size_t>((depth + 1) * kJsonIndent), ' ');
    for (auto item = value.begin(); item != value.end(); ++item) {
        if (item != value.begin()) {
            text += ",\n";
        }
        text += indent;
        if (object) {
            text += JsonString(item.key()) + ": ";
        }
        AppendJson(*item, depth + 1, text);
    }
    text += "\n" + std::string(static_cast<std::size_t>(depth * kJsonIndent), ' ') +
            (object ? "}" : "]");
}

}  // namespace

std::string IsoDateTime(const RecordingDate& date) {
    // Fields come from BCD digits that are not checked; each still fits in its width.
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    return text;
}

void SceneListing::StartFile(const std::string& path, std::uint64_t size) {
    m_current = File{path, size, {}};
    m_current.withThumbnails = m_bThumbnails;
}

void SceneListing::SetThumbnails(std::map<std::int32_t, std::string> files) {
    m_current.thumbnails = std::move(files);
}

void SceneListing::AddScene(const SceneSummary& scene) {
    m_current.scenes.push_back(scene);
}

void SceneListing::EndFile(bool complete, std::ostream& out) {
    if (!complete) {
        m_current = File{};
        return;
    }
    if (m_bJson) {
        m_done.push_back(std::move(m_current));
    } else {
        out << Table(m_current.path, m_current.size, m_current.scenes);
        out.flush();
    }
    m_current = File{};
}

void SceneListing::Finish(std::ostream& out) const {
    if (m_bJson) {
        out << Json(m_done);
        out.flush();
    }
}

std::string SceneListing::Table(const std::string& path, std::uint64_t size,
                                const std::vector<SceneSummary>& scenes) {
    // A DV input's table says so, and has the columns only DV scenes fill; an HDV table stays
    // as it always was.
    const bool dv = std::any_of(scenes.begin(), scenes.end(),
                                [](const SceneSummary& scene) { return scene.IsDv(); });
    std::string text = path + ": " + std::to_string(size) + " bytes, " + (dv ? "DV, " : "") +
                       std::to_string(scenes.size()) +
                       (scenes.size() == 1 ? " scene\n" : " scenes\n");
    char line[256];
    std::snprintf(line, sizeof line, "%5s %13s %13s  %-19s  %-19s %9s %10s %7s", "scene", "offset",
                  "length", "first date", "last date", "pictures", "duration", "broken");
    text += line;
    if (dv) {
        std::snprintf(line, sizeof line, kDvColumns, "system", "aspect", "first timecode",
                      "last timecode", "damaged video", "damaged audio");
        text += line;
    }
    text += "\n";
    for (const SceneSummary& scene : scenes) {
        const std::string offset = scene.offset >= 0 ? std::to_string(scene.offset) : kNoDate;
        std::snprintf(line, sizeof line, "%5d %13s %13llu  %-19s  %-19s %9llu %8.2f s %7llu",
                      scene.number, offset.c_str(), static_cast<unsigned long long>(scene.length),
                      TableDate(scene.firstDate).c_str(), TableDate(scene.lastDate).c_str(),
                      static_cast<unsigned long long>(scene.pictures), scene.DurationSeconds(),
                      static_cast<unsigned long long>(scene.brokenPictures));
        text += line;
        if (scene.IsDv()) {
            std::snprintf(line, sizeof line, kDvColumns, scene.system.c_str(),
                          OrNone(scene.aspect).c_str(), OrNone(scene.firstTimecode).c_str(),
                          OrNone(scene.lastTimecode).c_str(),
                          std::to_string(scene.damagedVideoFrames).c_str(),
                          std::to_string(scene.damagedAudioFrames).c_str());
            text += line;
        }
        text += "\n";
    }
    return text;
}

std::string SceneListing::Json(const std::vector<File>& files) {
    JsonValue document;
    document["files"] = JsonValue::array();
    for (const File& file : files) {
        JsonValue entry;
        entry["path"] = file.path;
        entry["size"] = file.size;
        entry["scenes"] = JsonValue::array();
        for (const SceneSummary& scene : file.scenes) {
            JsonValue item;
            item["number"] = scene.number;
            item["offset"] = scene.offset >= 0 ? JsonValue(scene.offset) : JsonValue(nullptr);
            item["length"] = scene.length;
            item["first_date"] = JsonDate(scene.firstDate);
            item["last_date"] = JsonDate(scene.lastDate);
            item["pictures"] = scene.pictures;
            item["duration"] = scene.DurationSeconds();
            item["broken_pictures"] = scene.brokenPictures;
            if (scene.IsDv()) {
                item["format"] = scene.format;
                item["system"] = scene.system;
                item["aspect"] = JsonText(scene.aspect);
                item["frames"] = scene.frames;
                item["first_timecode"] = JsonText(scene.firstTimecode);
                item["last_timecode"] = JsonText(scene.lastTimecode);
                item["damaged_video_frames"] = scene.damagedVideoFrames;
                item["damaged_audio_frames"] = scene.damagedAudioFrames;
            }
            if (file.withThumbnails) {
                const auto thumbnail = file.thumbnails.find(scene.number);
                item["thumbnail"] = thumbnail != file.thumbnails.end()
                                        ? JsonValue(thumbnail->second)
                                        : JsonValue(nullptr);
            }
            entry["scenes"].push_back(std::move(item));
        }
        document["files"].push_back(std::move(entry));
    }
    std::string text;
    AppendJson(document, 0, text);
    return text + "\n";
}

}  // namespace vornak
