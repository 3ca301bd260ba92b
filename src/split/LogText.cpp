#include "LogText.h"

#include <algorithm>
#include <cstddef>

namespace vornak {

std::string_view SeverityPrefix(LogSeverity severity) {
    switch (severity) {
        case LogSeverity::Warning:
            return "WARNING: ";
        case LogSeverity::Error:
            return "ERROR: ";
        case LogSeverity::Fatal:
            return "FATAL ERROR: ";
        case LogSeverity::Info:
            break;
    }
    return {};
}

std::string_view WithoutSeverityPrefix(LogSeverity severity, std::string_view line) {
    line.remove_prefix(std::min(line.find_first_not_of("\r\n"), line.size()));
    if (const std::string_view prefix = SeverityPrefix(severity); line.starts_with(prefix)) {
        line.remove_prefix(prefix.size());
    }
    return line;
}

std::string LogTextToLf(std::string text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the '\n' that follows makes the line break
        }
        text[kept++] = text[i];
    }
    text.resize(kept);
    return text;
}

}  // namespace vornak
