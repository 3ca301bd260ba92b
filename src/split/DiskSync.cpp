#include "DiskSync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vornak {

namespace {

class SystemDiskSync : public DiskSync {
  public:
    int SyncFile(int fd) override {
        while (::fdatasync(fd) != 0) {
            if (errno != EINTR) {
                return errno;
            }
        }
        return 0;
    }

    int SyncFolder(const std::string& folder) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        int error = 0;
        while (::fsync(fd) != 0) {
            if (errno != EINTR) {
                // Some file systems cannot flush a folder on its own and say so; their entries
                // are as safe as they will get.
                if (errno != EINVAL && errno != ENOTSUP) {
                    error = errno;
                }
                break;
            }
        }
        ::close(fd);
        return error;
    }
};

}  // namespace

DiskSync& DiskSync::System() {
    static SystemDiskSync sync;
    return sync;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

}  // namespace vornak
