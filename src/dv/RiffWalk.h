// Reads the header list of an AVI file's first bytes: which kinds of stream it declares.
#pragma once

#include <cstdint>
#include <span>

namespace vornak::dv {

class RiffWalk {
  public:
    // True when `start` (an AVI file's first bytes) declares an interleaved DV stream, the one
    // stream of a type 1 file. Every length is checked against `start`.
    static bool HasInterleavedDv(std::span<const std::uint8_t> start);
};

}  // namespace vornak::dv
