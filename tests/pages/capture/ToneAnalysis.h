// Reads what a recording of the preview's sound says: where the sound starts and ends, the
// longest silence inside it, and the tones it plays in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vornak::test {

struct HeardTone {
    double hz = 0;
    std::size_t firstFrame = 0;
    std::size_t frames = 0;
};

struct HeardSound {
    bool any = false;
    std::size_t firstFrame = 0;  // the first frame louder than the silence threshold
    std::size_t lastFrame = 0;
    std::size_t longestGap = 0;  // frames of silence, between the first and the last
    std::vector<HeardTone> tones;
};

// `stereo` is interleaved 16-bit stereo at `rate`; only the left channel is read. Tones are
// stretches of at least `minToneFrames` over which the frequency holds within a few hertz.
HeardSound AnalyseTones(const std::vector<std::int16_t>& stereo, int rate,
                        std::size_t minToneFrames);

}  // namespace vornak::test
