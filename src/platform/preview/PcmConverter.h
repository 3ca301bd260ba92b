// Turns decoded sound, in whichever of FFmpeg's sample layouts a decoder gives it (16-bit, 32-bit
// or float; planar or interleaved), into interleaved signed 16-bit PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" {
#include <libavutil/frame.h>
}

namespace vornak {

class PcmConverter {
  public:
    static constexpr std::size_t kBytesPerSample = 2;

    // Writes `frame` for `channels` output channels into `target`: output channel c takes the
    // frame's channel c, or its last one when it has fewer. The bytes written; 0 for an
    // unknown sample format, a frame without sound, or a target too small.
    static std::size_t Convert(const AVFrame& frame, int channels, std::span<std::uint8_t> target);
    static std::size_t Bytes(int samples, int channels);
};

}  // namespace vornak
