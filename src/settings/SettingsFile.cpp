#include "SettingsFile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vornak {

namespace {

constexpr char kCurrentDirFile[] = "./vornak.ini";
// The configuration folder's own folders are private, as the XDG rules ask.
constexpr mode_t kFolderMode = 0700;

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Creates `path` and every missing folder above it. Returns 0, or the errno of the failure.
int MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno;
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

std::string HomeOfUser() {
    if (const char* home = std::getenv("HOME"); IsAbsolute(home)) {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && IsAbsolute(entry->pw_dir)) {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

SettingsFile::SettingsFile(Reporter reporter) : m_reporter(std::move(reporter)) {
    if (Exists(kCurrentDirFile)) {
        m_path = kCurrentDirFile;
        return;
    }
    const std::string home = HomeOfUser();
    const std::string configHome = ConfigHome(std::getenv("XDG_CONFIG_HOME"), home.c_str());
    if (configHome.empty()) {
        // Nowhere else to go: the old place.
        m_path = kCurrentDirFile;
        return;
    }
    m_folder = configHome + "/" + kFolderName;
    m_path = m_folder + "/" + kFileName;
}

std::string SettingsFile::ConfigHome(const char* xdgConfigHome, const char* home) {
    // A relative XDG_CONFIG_HOME is invalid and to be ignored.
    if (IsAbsolute(xdgConfigHome)) {
        return xdgConfigHome;
    }
    if (IsAbsolute(home)) {
        std::string path = home;
        if (path.back() != '/') {
            path += '/';
        }
        return path + ".config";
    }
    return {};
}

void SettingsFile::Load(SettingsMap& map) {
    LoadSettingsFile(m_path, map);
    (void)PrepareFolder();
}

bool SettingsFile::Save(const SettingsMap& map) {
    if (!PrepareFolder()) {
        return false;
    }
    if (SaveSettingsFile(m_path, map)) {
        return true;
    }
    ReportOnce("WARNING: Can't write the settings file " + m_path + " (" + std::strerror(errno) +
               "). The settings of this session are not kept.");
    return false;
}

bool SettingsFile::PrepareFolder() {
    if (m_folder.empty()) {
        return true;
    }
    if (const int error = MakeFolders(m_folder); error != 0) {
        ReportOnce("WARNING: Can't create the settings folder " + m_folder + " (" +
                   std::strerror(error) + "). The settings of this session are not kept.");
        return false;
    }
    if (::access(m_folder.c_str(), W_OK | X_OK) != 0) {
        ReportOnce("WARNING: Can't write into the settings folder " + m_folder + " (" +
                   std::strerror(errno) + "). The settings of this session are not kept.");
        return false;
    }
    return true;
}

void SettingsFile::ReportOnce(const std::string& line) {
    if (m_bReported) {
        return;
    }
    m_bReported = true;
    if (m_reporter) {
        m_reporter(line);
    }
}

}  // namespace vornak
