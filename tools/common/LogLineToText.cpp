#include "LogLineToText.h"

#include "LogText.h"

namespace vornak {

std::string LogLineToText(const std::string& line) {
    std::string text = LogTextToLf(line);
    if (text.empty() || text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace vornak
