#include "SceneListing.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

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
    std::string text = path + ": " + std::to_string(size) + " bytes, " +
                       std::to_string(scenes.size()) +
                       (scenes.size() == 1 ? " scene\n" : " scenes\n");
    char line[256];
    std::snprintf(line, sizeof line, "%5s %13s %13s  %-19s  %-19s %9s %10s %7s\n", "scene",
                  "offset", "length", "first date", "last date", "pictures", "duration", "broken");
    text += line;
    for (const SceneSummary& scene : scenes) {
        const std::string offset = scene.offset >= 0 ? std::to_string(scene.offset) : kNoDate;
        std::snprintf(line, sizeof line, "%5d %13s %13llu  %-19s  %-19s %9llu %8.2f s %7llu\n",
                      scene.number, offset.c_str(), static_cast<unsigned long long>(scene.length),
                      TableDate(scene.firstDate).c_str(), TableDate(scene.lastDate).c_str(),
                      static_cast<unsigned long long>(scene.pictures), scene.DurationSeconds(),
                      static_cast<unsigned long long>(scene.brokenPictures));
        text += line;
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
    // A path need not be UTF-8; JSON text must be, so bytes that are not become U+FFFD rather
    // than ending the run.
    return document.dump(kJsonIndent, ' ', false, JsonValue::error_handler_t::replace) + "\n";
}

}  // namespace vornak
