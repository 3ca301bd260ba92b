#include "FileStart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vornak::dv {

FileStart FileStart::Read(const std::string& path, std::size_t limit) {
    FileStart start;
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        start.error = errno;
        return start;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        start.error = errno;
        start.regular = false;
        ::close(fd);
        return start;
    }
    // One byte more than asked for tells whether the file goes on.
    start.bytes.resize(limit + 1);
    std::size_t got = 0;
    while (got < start.bytes.size()) {
        const ssize_t n = ::read(fd, start.bytes.data() + got, start.bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            start.error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    start.whole = got <= limit;
    start.bytes.resize(std::min(got, limit));
    return start;
}

}  // namespace vornak::dv
