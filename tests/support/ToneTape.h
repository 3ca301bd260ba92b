// Tapes of recordings that each sound one tone, made with the ffmpeg program and dated with the
// tape generator's date inserter as a camcorder dates its recordings; and their sound decoded,
// to be listened to by frequency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornak::test {

struct ToneClip {
    int hertz = 440;
    double seconds = 1.0;
    // Added to every timestamp of the clip, whose clock otherwise starts anew. The 33-bit clock
    // wraps after about 95,443.7 seconds.
    double clockOffsetSeconds = 0.0;
};

struct ToneTape {
    std::vector<std::uint8_t> bytes;      // the clips back to back
    std::vector<std::size_t> clipStarts;  // where each clip begins in `bytes`
    std::string error;                    // empty on success
};

// One HDV-like clip per entry (1440 x 1080 MPEG-2 video on PID 0x810, MPEG-1 Layer II sound on
// 0x814 trailing its pictures), each dated an hour after the one before.
ToneTape MakeToneTape(const std::string& scratchDir, const std::vector<ToneClip>& clips);

// The sound of a transport stream file at 48 kHz, its channels mixed: every frame in the order
// its packets come. Empty when there is none.
std::vector<float> DecodeSound(const std::string& path);

// The amplitude of the `hertz` component in `count` samples from `first` (a full-scale sine
// gives 1).
double ToneLevel(const std::vector<float>& sound, std::size_t first, std::size_t count,
                 double hertz);

}  // namespace vornak::test
