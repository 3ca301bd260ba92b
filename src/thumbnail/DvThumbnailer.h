// The picture that stands for a DV scene: its first clean frame, decoded with libavcodec's DV
// decoder and scaled with libswscale to 320 x 240 for 4:3 or 320 x 180 for 16:9, as the
// frame's video control pack says (4:3 when it says nothing), for 625/50 and 525/60 alike.
//
// A frame is clean when none of its video blocks is marked as still in error: a deck that
// could not read a block says so, and libavcodec would show the block as noise or grey. When
// every frame tried is marked, the first that decodes stands for the scene all the same.
//
// Not thread-safe: one object per thread. An object keeps its decoder from scene to scene.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "DifConstants.h"
#include "RgbImage.h"
#include "SceneThumbnailer.h"

namespace vornak {

class DvThumbnailer {
  public:
    using Status = SceneThumbnailer::Status;

    // Frames tried before the first that decodes is taken: five seconds of 525/60, six of
    // 625/50. A tape this damaged at a scene's start shows nothing clean any sooner.
    static constexpr int kMaxFrames = 150;
    static constexpr std::uint64_t kMaxScanBytes = kMaxFrames * dv::kMaxFrameSize;

    DvThumbnailer();
    ~DvThumbnailer();
    DvThumbnailer(const DvThumbnailer&) = delete;
    DvThumbnailer& operator=(const DvThumbnailer&) = delete;

    // The scene's bytes are `length` bytes from `offset` in the DV file `path`, as a listing
    // gives them; its first frame begins at `offset`. Bytes that begin no whole frame are passed
    // over. `image` is left empty unless the result is Made.
    Status Make(const std::string& path, std::uint64_t offset, std::uint64_t length,
                RgbImage& image);
    // The same for a scene's bytes in memory.
    Status Make(std::span<const std::uint8_t> scene, RgbImage& image);

    // The thumbnail's size for a frame of the given aspect ratio.
    static SceneThumbnailer::Size ThumbnailSize(dv::DvAspect aspect);

  private:
    class Decoder;
    // Opens the decoder at the first scene; false when this FFmpeg has none for DV.
    bool OpenDecoder();

    std::unique_ptr<Decoder> m_decoder;
};

}  // namespace vornak
