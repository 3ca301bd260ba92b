// Where the DV scene job gets its bytes from: a raw DV file as it lies on the disk, or the DIF
// frames a container holds, handed out one after another as if they were a raw file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "InputFile.h"

namespace vornak {

class DvByteSource {
  public:
    virtual ~DvByteSource() = default;

    // CannotOpen with a non-empty Error() when the file opened but holds nothing to read.
    virtual InputFile::OpenResult Open(const std::string& path) = 0;
    // As InputFile::Read: until `size` bytes arrived, the input ended or reading failed.
    virtual InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) = 0;
    virtual void Close() = 0;
    // Where in the file the byte handed out at `streamOffset` lies, for the scene offsets that
    // listings show and thumbnails read from; -1 when unknown. Asked only of bytes read lately
    // (no further back than the job's buffer reaches).
    virtual std::int64_t FileOffsetOf(std::uint64_t streamOffset) const {
        return static_cast<std::int64_t>(streamOffset);
    }
    // Why Open failed, when the source can say more than "can't open"; empty otherwise.
    virtual std::string Error() const { return {}; }
    // False for a stream that is no file (a capture's): no "Processing file" line for it.
    virtual bool IsFile() const { return true; }
};

// A raw DV file: read straight through, as fast as a copy.
class RawDvByteSource final : public DvByteSource {
  public:
    InputFile::OpenResult Open(const std::string& path) override { return m_file.Open(path); }
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override {
        return m_file.Read(dest, size, got);
    }
    void Close() override { m_file.Close(); }

  private:
    InputFile m_file;
};

}  // namespace vornak
