#include "RecordingDiskSync.h"

#include <filesystem>
#include <system_error>

namespace vornak::test {

int RecordingDiskSync::SyncFile(int fd) {
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
    Record("file " + (ec ? std::string("?") : path.string()));
    return fileError.load();
}

int RecordingDiskSync::SyncFolder(const std::string& folder) {
    Record("folder " + folder);
    return folderError.load();
}

std::vector<std::string> RecordingDiskSync::Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
}

void RecordingDiskSync::Record(const std::string& event) {
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    if (onEvent) {
        onEvent(event);
    }
}

}  // namespace vornak::test
