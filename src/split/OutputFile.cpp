#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vornak {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
}

bool OutputFile::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

OutputFile::Create OutputFile::CreateNew(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (m_fd >= 0) {
        return Create::Created;
    }
    return errno == EEXIST ? Create::AlreadyExists : Create::Failed;
}

std::size_t OutputFile::Write(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (m_fd >= 0 && done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool OutputFile::Close() {
    if (m_fd < 0) {
        return true;
    }
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
}

}  // namespace vornak
