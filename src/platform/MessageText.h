// Fills a message pattern ("ERROR: ... %s ...") with its values, for log lines and boxes.
// Patterns are the program's own constants; values are ints and C strings.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace vornak {

template <typename... Values>
std::string MessageText(const char* pattern, Values... values) {
    const int length = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}

}  // namespace vornak
