// Takes the sound of one DV frame out of its audio blocks as interleaved 16-bit stereo, in the
// order it was sampled. A camcorder spreads the samples over the frame's DIF sequences and audio
// blocks so that a lost stretch of tape costs scattered samples rather than one long gap; this
// puts them back in order.
//
// Only the first stereo pair is read: in 12-bit sound the second pair lives in the frame's
// second half of sequences and is rarely recorded. Samples a camcorder marked as errors (and
// any it never wrote) come out as silence and are counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "DvFrameInfo.h"

namespace vornak::dv {

class DvAudioDeshuffler {
  public:
    static constexpr int kChannels = 2;
    // Sample pairs the blocks of a 625/50 frame have room for at 16 bits: more than any frame
    // holds at 48 kHz.
    static constexpr std::size_t kMaxSamples = 1944;

    struct Result {
        int samples = 0;       // per channel, written to the front of `stereo`
        int errorSamples = 0;  // of those, samples marked as errors (each channel counted)
    };

    // `frame` is one whole frame whose packs `info` was read from. Nothing is written when the
    // frame has no readable audio source pack, when it is shorter than its system's frame, or
    // when `stereo` has room for fewer than the frame's samples (kMaxSamples pairs always do).
    static Result Read(std::span<const std::uint8_t> frame, const DvFrameInfo& info,
                       std::span<std::int16_t> stereo);

    // A 12-bit sample (its code as read, 0 to 0xFFF) widened to 16 bits along the companding
    // curve DV sound uses.
    static std::int16_t Expand12(std::uint16_t code);
};

}  // namespace vornak::dv
