// Decodable tapes for the thumbnail tests: scenes of solid colours made with the ffmpeg
// program and dated with the tape generator's date inserter, and JPEG files read back with
// FFmpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RgbImage.h"

namespace vornak::test {

struct Colour {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct ColourScene {
    Colour colour;
    const char* aspect = "16:9";  // the sequence header's display aspect ratio
    int seconds = 1;
    const char* size = "1440x1080";
};

bool FfmpegAvailable();

// Writes a tape (HDV's 1440 x 1080 unless a scene says otherwise) to `path` with one scene per
// entry, each an hour after the one before from 2007-06-15 10:00:00. Empty on success, else what
// went wrong.
std::string WriteColourTape(const std::string& path, const std::vector<ColourScene>& scenes);

// The colour at the centre of `image`.
Colour CentreColour(const RgbImage& image);
// True when each channel is within `tolerance`: the colours go through YUV and back.
bool Near(const Colour& a, const Colour& b, int tolerance = 12);
std::string Text(const Colour& colour);

// Reads a JPEG file into an image; empty when it is none.
RgbImage ReadJpeg(const std::string& path);

}  // namespace vornak::test
