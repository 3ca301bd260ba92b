#include "OutputCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "DiskSync.h"
#include "RecordingDate.h"
#include "SceneFileName.h"

namespace vornak {

namespace {

std::string WithReason(const std::string& text, const std::string& name, int error) {
    return "ERROR: " + text + name + " (" + std::strerror(error) + ")";
}

// A date whose fields all take their widest form, for the longest name a pattern can give.
RecordingDate WidestDate() {
    RecordingDate date;
    date.year = 2099;
    date.month = 12;
    date.day = 31;
    date.hour = 23;
    date.minute = 59;
    date.second = 59;
    return date;
}

}  // namespace

std::string CheckOutputFolder(const std::string& folder) {
    constexpr const char* kFolder = "This folder can't take new files: ";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return WithReason(kFolder, folder, errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return WithReason(kFolder, folder, ENOTDIR);
    }
    // Write to make the entry, search to reach it; a read-only file system says so here too.
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return WithReason(kFolder, folder, errno);
    }
    return std::string();
}

std::string CheckOutputFile(const std::string& folder, const std::string& fileName) {
    if (fileName.find('/') != std::string::npos) {
        return "ERROR: A file name can't contain \"/\": " + fileName;
    }
    if (std::string error = CheckOutputFolder(folder); !error.empty()) {
        return error;
    }
    errno = 0;
    long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) {
        nameMax = NAME_MAX;  // no limit known: the usual one
    }
    const std::string path = folder + "/" + fileName;
    if (fileName.size() > static_cast<std::size_t>(nameMax) || path.size() >= PATH_MAX) {
        return WithReason("This file name is too long: ", path, ENAMETOOLONG);
    }
    return std::string();
}

std::string CheckSceneOutput(const std::string& baseName, const std::string& extension,
                             std::int32_t firstCounter, bool dateTimeNaming,
                             const std::string& dateFormat) {
    const std::string folder = FolderOf(baseName);
    const std::size_t slash = baseName.rfind('/');
    const std::string name = slash == std::string::npos ? baseName : baseName.substr(slash + 1);
    const RecordingDate date = WidestDate();
    bool counterUsed = false;
    std::string trial = SceneFileName(name, extension, firstCounter, dateTimeNaming, nullptr,
                                      dateFormat, counterUsed);
    if (dateTimeNaming) {
        std::string dated =
            SceneFileName(name, extension, firstCounter, true, &date, dateFormat, counterUsed);
        if (dated.size() > trial.size()) {
            trial = std::move(dated);
        }
    }
    return CheckOutputFile(folder, trial);
}

}  // namespace vornak
