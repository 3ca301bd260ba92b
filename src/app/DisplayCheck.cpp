#include "DisplayCheck.h"

#include <cstring>
#include <string_view>

namespace vornak {

namespace {

bool Set(const char* value) {
    return value != nullptr && value[0] != '\0';
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string ChosenPlatform(int argc, char* argv[], const char* environmentPlatform) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return argv[i + 1];
        }
    }
    return environmentPlatform != nullptr ? environmentPlatform : "";
}

bool DisplayAvailable(const std::string& platform, const char* display,
                      const char* waylandDisplay) {
    const bool x11 = Set(display);
    const bool wayland = Set(waylandDisplay);
    bool anyNamed = false;
    std::string_view rest = platform;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        std::string_view entry = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (name.empty()) {
            continue;
        }
        anyNamed = true;
        if (StartsWith(name, "xcb")) {
            if (x11) {
                return true;
            }
        } else if (StartsWith(name, "wayland")) {
            if (wayland) {
                return true;
            }
        } else {
            return true;
        }
    }
    return !anyNamed && (x11 || wayland);
}

}  // namespace vornak
