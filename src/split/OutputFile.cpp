#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace vornak {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
}

bool OutputFile::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

OutputFile::Create OutputFile::CreateNew(const std::string& path) {
    Abandon();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (m_fd >= 0) {
        m_lastError = 0;
        return Create::Created;
    }
    m_lastError = errno;
    return m_lastError == EEXIST ? Create::AlreadyExists : Create::Failed;
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

std::size_t OutputFile::WritePieces(const Piece* pieces, std::size_t count) {
    std::size_t total = 0;
    std::vector<iovec> vec;
    std::size_t next = 0;
    while (m_fd >= 0 && next < count) {
        const std::size_t batch = std::min<std::size_t>(count - next, IOV_MAX);
        vec.clear();
        std::size_t wanted = 0;
        for (std::size_t i = 0; i < batch; ++i) {
            vec.push_back(
                {const_cast<std::uint8_t*>(pieces[next + i].data), pieces[next + i].size});
            wanted += pieces[next + i].size;
        }
        std::size_t done = 0;
        iovec* iov = vec.data();
        int iovCount = static_cast<int>(vec.size());
        while (done < wanted) {
            const ssize_t n = ::writev(m_fd, iov, iovCount);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return total + done;
            }
            done += static_cast<std::size_t>(n);
            // Skip what went out and resume inside a piece that was only partly written.
            std::size_t left = static_cast<std::size_t>(n);
            while (iovCount > 0 && left >= iov->iov_len) {
                left -= iov->iov_len;
                ++iov;
                --iovCount;
            }
            if (iovCount > 0) {
                iov->iov_base = static_cast<std::uint8_t*>(iov->iov_base) + left;
                iov->iov_len -= left;
            }
        }
        total += done;
        next += batch;
    }
    return total;
}

bool OutputFile::Close() {
    if (m_fd < 0) {
        return true;
    }
    int error = m_pSync->SyncFile(m_fd);
    if (::close(m_fd) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    m_fd = -1;
    if (error != 0) {
        m_lastError = error;
        return false;
    }
    return true;
}

void OutputFile::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace vornak
