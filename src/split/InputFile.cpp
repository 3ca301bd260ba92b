#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vornak {

bool InputFile::Open(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        Close();
        return false;
    }
    // Tapes are read once from start to end; tell the kernel so it reads ahead generously.
    (void)::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
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
