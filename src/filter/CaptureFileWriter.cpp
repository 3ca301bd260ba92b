#include "CaptureFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "TsPacket.h"

namespace vornak {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
constexpr std::size_t kBufferSize = CaptureFileWriter::kBufferPackets * PKT_SIZE;

}  // namespace

std::unique_ptr<CaptureFileWriter> CaptureFileWriter::CreateNew(const std::string& path,
                                                                Create& result, int& error,
                                                                Packing packing) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
        error = errno;
        result = error == EEXIST ? Create::AlreadyExists : Create::Failed;
        return nullptr;
    }
    error = 0;
    result = Create::Created;
    return std::make_unique<CaptureFileWriter>(fd, path, packing);
}

std::unique_ptr<CaptureFileWriter> CaptureFileWriter::CreateNew(const std::string& path) {
    Create result{};
    int error = 0;
    return CreateNew(path, result, error);
}

CaptureFileWriter::CaptureFileWriter(int fd, std::string path, Packing packing)
    : m_fd(fd),
      m_path(std::move(path)),
      m_packing(packing),
      m_pBuffer(packing == Packing::TransportPackets
                    ? std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize)
                    : nullptr) {}

CaptureFileWriter::~CaptureFileWriter() {
    (void)Close();
}

bool CaptureFileWriter::Write(const std::uint8_t* data, std::size_t size) {
    if (!m_bFailed && !m_bClosed) {
        m_nTaken += size;
    }
    if (m_packing == Packing::WholeWrites) {
        if (size > 0 && !m_bFailed && !m_bClosed) {
            (void)WriteOut(data, size);
        }
        return !m_bFailed && !m_bClosed;
    }
    while (size > 0 && !m_bFailed && !m_bClosed) {
        const std::size_t taken = std::min(size, kBufferSize - m_nHeld);
        std::memcpy(m_pBuffer.get() + m_nHeld, data, taken);
        m_nHeld += taken;
        data += taken;
        size -= taken;
        if (m_nHeld == kBufferSize) {
            m_nHeld = 0;
            (void)WriteOut(m_pBuffer.get(), kBufferSize);
        }
    }
    return !m_bFailed && !m_bClosed;
}

bool CaptureFileWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    int error = ENOSPC;  // a write that takes nothing and says nothing: the disk is full
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    m_nWritten += done;
    if (done == size) {
        return true;
    }
    Fail(error);
    // A full disk may have taken part of a packet: cut the file back to the last whole one,
    // so that even a failed capture plays to its end.
    if (m_packing == Packing::TransportPackets && m_nWritten % PKT_SIZE != 0) {
        (void)::ftruncate(m_fd, static_cast<off_t>(m_nWritten - m_nWritten % PKT_SIZE));
    }
    return false;
}

void CaptureFileWriter::Fail(int error) {
    if (!m_bFailed) {
        m_nError = error;
    }
    m_bFailed = true;
}

bool CaptureFileWriter::Close() {
    if (m_bClosed) {
        return !m_bFailed;
    }
    m_bClosed = true;
    if (!m_bFailed && m_nHeld > 0) {
        (void)WriteOut(m_pBuffer.get(), std::exchange(m_nHeld, 0));
    }
    // The run is reported done once this returns: the data must be on the disk, not only in
    // the page cache.
    if (!m_bFailed && m_fd >= 0) {
        if (const int error = m_pSync->SyncFile(m_fd); error != 0) {
            Fail(error);
        }
    }
    if (m_fd >= 0 && ::close(m_fd) != 0) {
        Fail(errno);
    }
    m_fd = -1;
    return !m_bFailed;
}

}  // namespace vornak
