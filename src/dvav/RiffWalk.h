// Reads the header list of an AVI file's first bytes: which kinds of stream it declares.
#pragma once

#include <cstdint>
#include <span>

namespace vornak::dv {

class RiffWalk {
  public:
    // The number of the interleaved DV stream (the one stream of a type 1 file) that `start`,
    // an AVI file's first bytes, declares; -1 when it declares none. Every length is checked
    // against `start`.
    static int InterleavedDvStream(std::span<const std::uint8_t> start);
};

}  // namespace vornak::dv
