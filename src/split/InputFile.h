// A transport-stream input read in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornak {

class InputFile {
  public:
    InputFile() = default;
    ~InputFile() { Close(); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    enum class OpenResult { Opened, CannotOpen, NotRegular };
    // Opens a regular file for reading. Never waits: a FIFO or a device is refused at once
    // instead of blocking in the open or reading without end.
    OpenResult Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    enum class Status { Ok, EndOfFile, Error };
    // Reads until `size` bytes arrived, the file ended or a read failed; `got` says how many
    // bytes arrived in any case.
    Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got);

    // Size in bytes of a regular file, or -1 when it cannot be opened.
    static std::int64_t SizeOf(const std::string& path);

  private:
    int m_fd = -1;
};

}  // namespace vornak
