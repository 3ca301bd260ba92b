#include "PathCheck.h"

#include <sys/stat.h>

namespace vornak {

namespace {

constexpr char kSeparator = '/';
constexpr std::string_view kForbiddenChars = "\"*/:<>?\\|";
// Permissions for new folders, narrowed by the user's umask.
constexpr mode_t kNewFolderMode = 0777;

bool IsBadEdge(char c) {
    return c == '\t' || c == ' ' || c == '.';
}

}  // namespace

bool IsValidFolderName(std::string_view name) {
    if (name.empty() || IsBadEdge(name.front()) || IsBadEdge(name.back())) {
        return false;
    }
    return name.find_first_of(kForbiddenChars) == std::string_view::npos;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

PathWalkResult WalkPath(const std::string& path, bool create) {
    if (path.empty() || path.front() != kSeparator) {
        return kPathInvalid;
    }
    if (path.size() == 1) {
        // The root: always there on this system, but ask anyway rather than assume.
        return (!create || PathExists(path)) ? kPathValid : kPathNotCreated;
    }

    std::size_t start = 1;
    for (;;) {
        std::size_t end = path.find(kSeparator, start);
        bool last = end == std::string::npos;
        if (last) {
            end = path.size();
        }
        if (!IsValidFolderName(std::string_view(path).substr(start, end - start))) {
            return kPathInvalid;
        }
        if (create) {
            std::string level = path.substr(0, end);
            // "Already exists" and every other error are judged by what is there afterwards.
            ::mkdir(level.c_str(), kNewFolderMode);
            if (!PathExists(level)) {
                return kPathNotCreated;
            }
        }
        if (last) {
            return kPathValid;
        }
        start = end + 1;
        if (start == path.size()) {
            return kPathInvalid;  // a trailing separator
        }
    }
}

}  // namespace vornak
