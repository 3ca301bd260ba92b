// DV clips in containers for the tests: AVI type 2 and QuickTime made from a raw clip by the
// ffmpeg program's stream copy, and AVI type 1 (which ffmpeg does not write) laid out here.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "DvTestFrames.h"

namespace vornak::dv::test {

// `ffmpeg -i in -c copy -f <format> out`. Empty on success, else the command that failed.
std::string CopyWithFfmpeg(const std::string& in, const std::string& format,
                           const std::string& out);

// RIFF pieces: a chunk (padded to even length) and a list of chunks.
Bytes Chunk(const char* tag, const Bytes& body);
Bytes List(const char* tag, const char* type, const std::vector<Bytes>& children);

// An AVI type 1 file of 625/50 frames: one frame a chunk, and an index. The interleaved stream
// is stream `stream`, behind that many sound streams.
Bytes AviType1(const Frames& frames, int stream = 0);

}  // namespace vornak::dv::test
