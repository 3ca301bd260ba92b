// A file's first bytes, read to tell what the file is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornak::dv {

struct FileStart {
    std::vector<std::uint8_t> bytes;
    bool whole = false;   // the bytes are all of the file
    int error = 0;        // the system's error number when the file could not be read
    bool regular = true;  // false: a folder, a FIFO or a device, not read at all

    // Up to `limit` bytes from the start of `path`. Never waits: a FIFO or a device is not read.
    static FileStart Read(const std::string& path, std::size_t limit);
};

}  // namespace vornak::dv
