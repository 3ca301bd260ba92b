#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    m_nSize = 0;
    m_nPacketOrigin = 0;
    m_bOriginKnown = false;
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
    if (m_shortWrite == ShortWrite::KeepAll) {
        m_nSize += done;
        return done;
    }
    if (!m_bOriginKnown && done > 0) {
        if (const void* sync = std::memchr(data, SYNC_BYTE, done); sync != nullptr) {
            m_nPacketOrigin =
                m_nSize + static_cast<std::size_t>(static_cast<const std::uint8_t*>(sync) - data);
            m_bOriginKnown = true;
        }
    }
    m_nSize += done;
    if (done < size && m_fd >= 0) {
        const std::size_t cut = CutToWholePackets();
        return done > cut ? done - cut : 0;
    }
    return done;
}

std::string OutputFile::Reason() const {
    return std::strerror(m_lastError);
}

std::size_t OutputFile::CutToWholePackets() {
    if (!m_bOriginKnown || m_nSize <= m_nPacketOrigin) {
        return 0;  // no packet has begun: nothing to make whole
    }
    const std::uint64_t whole = m_nPacketOrigin + (m_nSize - m_nPacketOrigin) / PKT_SIZE * PKT_SIZE;
    if (whole == m_nSize || ::ftruncate(m_fd, static_cast<off_t>(whole)) != 0) {
        return 0;
    }
    const auto cut = static_cast<std::size_t>(m_nSize - whole);
    m_nSize = whole;
    return cut;
}

std::size_t OutputFile::WritePieces(const Piece* pieces, std::size_t count) {
    // The system copies a great many small pieces (a sound packet among the pictures) far more
    // slowly than a few large blocks, so they are gathered here first.
    if (!m_pStaging) {
        m_pStaging = std::make_unique_for_overwrite<std::uint8_t[]>(kStagingBytes);
    }
    std::uint8_t* const staging = m_pStaging.get();
    std::size_t total = 0;
    std::size_t fill = 0;
    const auto writeStaged = [&] {
        const std::size_t done = Write(staging, fill);
        total += done;
        const bool whole = done == fill;
        fill = 0;
        return whole;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* data = pieces[i].data;
        std::size_t left = pieces[i].size;
        while (left > 0) {
            const std::size_t n = std::min(left, kStagingBytes - fill);
            std::memcpy(staging + fill, data, n);
            fill += n;
            data += n;
            left -= n;
            if (fill == kStagingBytes && !writeStaged()) {
                return total;
            }
        }
    }
    if (fill > 0) {
        writeStaged();
    }
    return total;
}

void OutputFile::StartWriteback() {
    if (m_fd >= 0) {
        // Only a request: Close flushes and reports what went wrong.
        (void)::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
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

bool OutputFile::RemoveIfEmpty(const std::string& path) {
    struct stat own {};
    struct stat named {};
    if (m_fd < 0 || ::fstat(m_fd, &own) != 0 || own.st_size != 0 ||
        ::lstat(path.c_str(), &named) != 0 || named.st_dev != own.st_dev ||
        named.st_ino != own.st_ino) {
        return false;
    }
    if (::unlink(path.c_str()) != 0) {
        m_lastError = errno;
        return false;
    }
    Abandon();
    return true;
}

void OutputFile::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace vornak
