#include "LogLineToText.h"

#include <cstddef>

namespace vornak {

std::string LogLineToText(const std::string& line) {
    std::string text;
    text.reserve(line.size() + 1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') {
            continue;  // the '\n' that follows makes the line break
        }
        text += line[i];
    }
    if (text.empty() || text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace vornak
