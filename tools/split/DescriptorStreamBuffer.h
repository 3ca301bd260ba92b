// Standard output for vornak-split: a stream buffer on a file descriptor that keeps the
// system's reason when a write fails. std::cout's stdio buffer would fail as well, but its errno
// is gone by the time the program looks, among the calls made since; a listing sent to a full
// disk must say why it is incomplete.
#pragma once

#include <array>
#include <streambuf>

namespace vornak {

class DescriptorStreamBuffer : public std::streambuf {
  public:
    // `fd` stays open: the buffer neither owns nor closes it.
    explicit DescriptorStreamBuffer(int fd);
    // Writes what is still buffered; a failure then can no longer be reported.
    ~DescriptorStreamBuffer() override;
    DescriptorStreamBuffer(const DescriptorStreamBuffer&) = delete;
    DescriptorStreamBuffer& operator=(const DescriptorStreamBuffer&) = delete;

    // The errno of the first write that failed, or 0. After it nothing more is written.
    int Error() const { return m_error; }

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    static constexpr std::size_t kBufferSize = 4096;

    bool WriteBuffered();

    const int m_fd;
    std::array<char, kBufferSize> m_buffer{};
    int m_error = 0;
};

}  // namespace vornak
