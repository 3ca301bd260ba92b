#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vornak {

InputFile::OpenResult InputFile::Open(const std::string& path) {
    Close();
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        return OpenResult::CannotOpen;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        Close();
        return OpenResult::CannotOpen;
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        return OpenResult::NotRegular;
    }
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    // Tapes are read once from start to end; tell the kernel so it reads ahead generously.
    (void)::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return OpenResult::Opened;
}

void InputFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

InputFile::Status InputFile::Read(std::uint8_t* dest, std::size_t size, std::size_t& got) {
    got = 0;
    if (m_fd < 0) {
        return Status::Error;
    }
    while (got < size) {
        const ssize_t n = ::read(m_fd, dest + got, size - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::Error;
        }
        if (n == 0) {
            return Status::EndOfFile;
        }
        got += static_cast<std::size_t>(n);
    }
    return Status::Ok;
}

std::int64_t InputFile::SizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return -1;
    }
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace vornak
