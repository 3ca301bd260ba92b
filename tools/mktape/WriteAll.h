// Writing a whole buffer to a file descriptor, as the tape tools do for every file they make.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vornak {

// Writes all `size` bytes, retrying after a signal. On failure returns false and sets `failure`
// to the system's error, or to ENOSPC when the system wrote nothing without saying why.
bool WriteAllTo(int fd, const std::uint8_t* data, std::size_t size, int& failure);

}  // namespace vornak
