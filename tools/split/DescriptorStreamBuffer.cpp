#include "DescriptorStreamBuffer.h"

#include <unistd.h>

#include <cerrno>

namespace vornak {

DescriptorStreamBuffer::DescriptorStreamBuffer(int fd) : m_fd(fd) {
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

DescriptorStreamBuffer::~DescriptorStreamBuffer() {
    WriteBuffered();
}

DescriptorStreamBuffer::int_type DescriptorStreamBuffer::overflow(int_type c) {
    if (!WriteBuffered()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorStreamBuffer::sync() {
    return WriteBuffered() ? 0 : -1;
}

bool DescriptorStreamBuffer::WriteBuffered() {
    const char* data = pbase();
    std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    // Whatever could not be written is dropped: the stream has failed, and keeping it would
    // only grow the buffer.
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    while (m_error == 0 && size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            m_error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return m_error == 0;
}

}  // namespace vornak
