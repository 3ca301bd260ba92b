// DV clips of solid colours for the DV thumbnail tests, made with the ffmpeg program, and the
// damage and omissions of real tapes put into their frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "DifConstants.h"

namespace vornak::test {

struct DvClip {
    Colour colour;
    dv::DvSystem system = dv::DvSystem::k625_50;
    const char* aspect = "4:3";
    int frames = 1;
};

// The clip's frames, back to back; empty when ffmpeg failed. `scratch` is a file name the clip
// may pass through.
std::vector<std::uint8_t> MakeDvClip(const std::string& scratch, const DvClip& clip);
// Marks every video block of frame `frame` as still in error, as a deck does with blocks it
// could not read.
void MarkFrameInError(std::vector<std::uint8_t>& frames, dv::DvSystem system, std::size_t frame);
// Takes the video control packs, and with them the aspect ratio, out of every frame.
void DropVideoControlPacks(std::vector<std::uint8_t>& frames, dv::DvSystem system);

}  // namespace vornak::test
