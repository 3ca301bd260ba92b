// Reads one DV frame: its system, its packs (every copy, voted), and the damage its blocks own
// up to. Runs on every frame of a tape, so it allocates nothing and reads only the bytes it needs.
#pragma once

#include <cstdint>
#include <span>

#include "DvFrameInfo.h"

namespace vornak::dv {

class DvFrameParser {
  public:
    // `frame` begins with the frame's header block. Whole DIF sequences are read, up to the
    // system's count, so a frame cut short still tells what it holds. False (and `info` reset)
    // when `frame` does not begin with a header block or holds no whole sequence.
    static bool Parse(std::span<const std::uint8_t> frame, DvFrameInfo& info);
};

}  // namespace vornak::dv
