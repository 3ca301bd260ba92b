// Raw DV tapes for the DV picture tests: scenes of solid colours made with the ffmpeg program
// and dated with the tape generator's DV date writer, an hour apart, so that they split.
#pragma once

#include <string>
#include <vector>

#include "ColourTape.h"

namespace vornak::test {

struct DvColourScene {
    Colour colour;
    const char* aspect = "4:3";
    int frames = 5;
    bool pal = true;  // 625/50 (720 x 576), else 525/60 (720 x 480)
};

// Writes a raw DV tape to `path` with one scene per entry, each an hour after the one before
// from 2007-06-15 10:00:00. Empty on success, else what went wrong.
std::string WriteDvColourTape(const std::string& path, const std::vector<DvColourScene>& scenes);

}  // namespace vornak::test
