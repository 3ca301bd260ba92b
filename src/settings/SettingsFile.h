// Where the settings file lives, and reading and writing it there. A "vornak.ini" in the current
// directory is used when there is one (a portable set-up, and the place every earlier version
// kept it); otherwise the file lives in the user's configuration folder,
// $XDG_CONFIG_HOME/vornak/vornak.ini or ~/.config/vornak/vornak.ini.
//
// A folder that cannot hold the file is reported once, through the reporter, however often the
// settings are read or written. Plain C++: no window system needed.
#pragma once

#include <functional>
#include <string>

#include "SettingsMap.h"

namespace vornak {

class SettingsFile {
  public:
    static constexpr char kFileName[] = "vornak.ini";
    static constexpr char kFolderName[] = "vornak";

    // Receives one "WARNING: ..." line; may be empty (nobody is told).
    using Reporter = std::function<void(const std::string& line)>;

    // Chooses the file from the current directory and the environment.
    explicit SettingsFile(Reporter reporter = {});

    // The file's path: "./vornak.ini", or a path in the configuration folder.
    const std::string& Path() const { return m_path; }

    // Fills `map` from the file (a missing file leaves it empty) and makes sure that the folder
    // exists and can take the file at the end.
    void Load(SettingsMap& map);
    // Writes the whole map; false when the file could not be written.
    bool Save(const SettingsMap& map);

    // The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
    // `home`/.config. Empty when neither is known.
    static std::string ConfigHome(const char* xdgConfigHome, const char* home);

  private:
    void ReportOnce(const std::string& line);
    bool PrepareFolder();

    Reporter m_reporter;
    std::string m_path;
    std::string m_folder;  // empty for the file in the current directory
    bool m_bReported = false;
};

}  // namespace vornak
