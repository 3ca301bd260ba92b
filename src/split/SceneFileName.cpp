#include "SceneFileName.h"

#include <cstdio>
#include <string>
#include <utility>

namespace vornak {

namespace {

std::string Format(const char* format, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<int>(value));
    return text;
}

// Replaces every occurrence left to right; inserted text is never scanned again.
void ReplaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    std::size_t pos = 0;
    while ((pos = text.find(placeholder, pos)) != std::string::npos) {
        text.replace(pos, placeholder.size(), value);
        pos += value.size();
    }
}

}  // namespace

std::string ExpandDatePattern(const std::string& pattern, const RecordingDate& date) {
    std::string text = pattern;
    const std::pair<const char*, std::string> fields[] = {
        {"%Y", Format("%04d", date.year)},   {"%M", Format("%02d", date.month)},
        {"%D", Format("%02d", date.day)},    {"%h", Format("%02d", date.hour)},
        {"%m", Format("%02d", date.minute)}, {"%s", Format("%02d", date.second)},
    };
    for (const auto& [placeholder, value] : fields) {
        ReplaceAll(text, placeholder, value);
    }
    return text;
}

std::string SceneFileName(const std::string& baseName, const std::string& extension,
                          std::int32_t counter, bool dateTimeNaming, const RecordingDate* date,
                          const std::string& dateFormat, bool& counterUsed) {
    counterUsed = false;
    if (!dateTimeNaming || date == nullptr) {
        counterUsed = true;
        const char* tag = dateTimeNaming ? "-noTime-" : "-";
        return baseName + tag + Format("%04d", counter) + "." + extension;
    }
    if (dateFormat.empty()) {
        char text[64];
        std::snprintf(text, sizeof text, "-%04d_%02d_%02d-%02d_%02d_%02d", date->year, date->month,
                      date->day, date->hour, date->minute, date->second);
        return baseName + text + "." + extension;
    }
    return baseName + ExpandDatePattern(dateFormat, *date) + "." + extension;
}

std::string NewNameSuffix(std::int32_t n) {
    if (n <= 0) {
        return std::string();
    }
    return n == 1 ? std::string("-new") : "-new" + std::to_string(n);
}

std::string FragmentFileName(const std::string& baseName, const std::string& extension,
                             std::int32_t counter) {
    return baseName + "-" + Format("%04d", counter) + "-fragment." + extension;
}

}  // namespace vornak
