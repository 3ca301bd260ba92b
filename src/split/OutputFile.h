// A scene file. Created exclusively, so that no existing file is ever overwritten, not even one
// that appears between the existence test and the creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornak {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // True when anything at all is there under that name, even a dangling link.
    static bool Exists(const std::string& path);

    enum class Create { Created, AlreadyExists, Failed };
    Create CreateNew(const std::string& path);

    bool IsOpen() const { return m_fd >= 0; }
    // Writes everything unless the file system refuses; returns the bytes actually written.
    std::size_t Write(const std::uint8_t* data, std::size_t size);
    struct Piece {
        const std::uint8_t* data;
        std::size_t size;
    };
    // Writes the pieces in order with as few calls as the system allows; returns the bytes
    // actually written.
    std::size_t WritePieces(const Piece* pieces, std::size_t count);
    // Returns false when the data could not be flushed to the file.
    bool Close();

  private:
    int m_fd = -1;
};

}  // namespace vornak
