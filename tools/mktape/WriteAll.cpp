#include "WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace vornak {

bool WriteAllTo(int fd, const std::uint8_t* data, std::size_t size, int& failure) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace vornak
