// Decodes every picture of a scene job's video to find those a player could not show: the
// deepest health check, and the slowest. The job hands over the video as it walks it; the check
// hands back the pictures that failed.
//
// Threading: one job's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vornak {

class VideoDecodeCheck {
  public:
    virtual ~VideoDecodeCheck() = default;

    // The payload of one video transport packet (after its PES header, when one begins in it),
    // in stream order. `unitStart`: a PES packet (one picture, in HDV) begins here, and `tag`
    // names it; the tags of later PES packets grow.
    virtual void Feed(const std::uint8_t* payload, std::size_t size, bool unitStart,
                      std::uint64_t tag) = 0;
    // The video stops here (the end of the input, or a break in it): whatever is buffered is
    // decoded, and the next Feed starts afresh.
    virtual void Flush() = 0;
    // Appends the tags of the PES packets whose pictures failed to decode since the last call.
    virtual void TakeFailures(std::vector<std::uint64_t>& tags) = 0;
};

// Makes one check per job; empty when pictures are not decoded.
using VideoDecodeCheckMaker = std::function<std::unique_ptr<VideoDecodeCheck>()>;

}  // namespace vornak
