// DV clips in containers for the tests: AVI type 2 and QuickTime made from a raw clip by the
// ffmpeg program's stream copy, and AVI type 1 (which ffmpeg does not write) laid out here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornak::dv::test {

using Frames = std::vector<std::vector<std::uint8_t>>;

// The whole frames of a raw DV file, in order.
Frames RawFrames(const std::vector<std::uint8_t>& raw);

// `ffmpeg -i in -c copy -f <format> out`. Empty on success, else the command that failed.
std::string CopyWithFfmpeg(const std::string& in, const std::string& format,
                           const std::string& out);

// An AVI type 1 file of 625/50 frames: one interleaved stream, one frame a chunk, and an index.
std::vector<std::uint8_t> AviType1(const Frames& frames);
// The same as type 1 or as a type 2 file without sound: one DV video stream.
std::vector<std::uint8_t> AviDv(const Frames& frames, int type);

}  // namespace vornak::dv::test
