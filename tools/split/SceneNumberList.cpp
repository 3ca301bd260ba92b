#include "SceneNumberList.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vornak {

namespace {

bool ParseNumber(const std::string& text, std::int32_t& number) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string RangeText(std::int32_t first, std::int32_t last) {
    return first == last ? std::to_string(first)
                         : std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

std::optional<SceneNumberList> SceneNumberList::Parse(const std::string& text, std::string& error) {
    SceneNumberList list;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dash = item.find('-');
        Range range{};
        const bool ok = dash == std::string::npos
                            ? ParseNumber(item, range.first) && ParseNumber(item, range.last)
                            : ParseNumber(item.substr(0, dash), range.first) &&
                                  ParseNumber(item.substr(dash + 1), range.last) &&
                                  range.first <= range.last;
        if (!ok) {
            error = "--scenes takes scene numbers and ranges such as 0,2-4, not '" + text + "'";
            return std::nullopt;
        }
        list.m_ranges.push_back(range);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    std::sort(list.m_ranges.begin(), list.m_ranges.end(),
              [](const Range& a, const Range& b) { return a.first < b.first; });
    std::vector<Range> merged;
    for (const Range& range : list.m_ranges) {
        if (!merged.empty() && (merged.back().last == std::numeric_limits<std::int32_t>::max() ||
                                range.first <= merged.back().last + 1)) {
            merged.back().last = std::max(merged.back().last, range.last);
        } else {
            merged.push_back(range);
        }
    }
    list.m_ranges = std::move(merged);
    return list;
}

bool SceneNumberList::Contains(std::int32_t number) const {
    return std::any_of(m_ranges.begin(), m_ranges.end(), [number](const Range& range) {
        return range.first <= number && number <= range.last;
    });
}

std::string SceneNumberList::Missing(std::int32_t sceneCount) const {
    std::string text;
    for (const Range& range : m_ranges) {
        if (range.last < sceneCount) {
            continue;
        }
        text +=
            (text.empty() ? "" : ", ") + RangeText(std::max(range.first, sceneCount), range.last);
    }
    return text;
}

}  // namespace vornak
