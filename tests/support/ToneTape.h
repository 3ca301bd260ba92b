// Tapes of recordings that each sound one tone, made with the ffmpeg program and dated with the
// tape generator's date inserter as a camcorder dates its recordings; and the sound of a
// transport stream decoded with FFmpeg, to be listened to by frequency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornak::test {

struct ToneClip {
    int hertz = 440;
    double seconds = 1.0;
    // Added to every timestamp of the clip; each clip's clock starts anew otherwise. The 33-bit
    // clock wraps after about 95,443.7 seconds.
    double clockOffsetSeconds = 0.0;
};

struct ToneTape {
    std::vector<std::uint8_t> bytes;      // the clips back to back
    std::vector<std::size_t> clipStarts;  // where each clip begins in `bytes`
    std::string error;                    // empty on success
};

// One HDV-like clip per entry (1440 x 1080 MPEG-2 video on PID 0x810, MPEG-1 Layer II sound on
// 0x814), each dated an hour after the one before. The clips' files go to `scratchDir`.
ToneTape MakeToneTape(const std::string& scratchDir, const std::vector<ToneClip>& clips);

// The first channel of the sound on PID 0x814, decoded in the order its packets come.
struct Sound {
    std::vector<float> samples;
    int rate = 0;
};
Sound DecodeSound(const std::vector<std::uint8_t>& stream);

// The amplitude of the `hertz` component in `count` samples from `first` (a full-scale sine
// gives 1).
double ToneLevel(const Sound& sound, std::size_t first, std::size_t count, double hertz);

}  // namespace vornak::test
