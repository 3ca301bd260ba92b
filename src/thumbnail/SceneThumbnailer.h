// The picture that stands for a scene: the first picture of its first complete picture group
// (an I-picture), decoded with libavcodec and scaled with libswscale to fit 320 x 240 at the
// picture's display aspect ratio, so HDV's 1440 x 1080 with its 16:9 aspect ratio gives
// 320 x 180.
//
// Not thread-safe: one object per thread. An object keeps its decoder from scene to scene.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "RgbImage.h"

namespace vornak {

class SceneThumbnailer {
  public:
    static constexpr int kWidth = 320;      // the most a thumbnail is wide
    static constexpr int kMaxHeight = 240;  // and high: 4:3 fills the box
    // A scene whose first decodable I-picture has not come within this many bytes has none
    // that could be shown: HDV has one every half second, under 2 MB apart.
    static constexpr std::uint64_t kMaxScanBytes = 24ull << 20;

    enum class Status {
        Made,
        CannotOpen,   // the input file does not open
        CannotRead,   // reading it failed
        NoPicture,    // no picture of the scene could be decoded
        NoDecoder,    // this FFmpeg lacks the MPEG-2 video decoder or parser
        NoDvDecoder,  // this FFmpeg lacks the DV video decoder (a DV scene's pictures)
    };

    SceneThumbnailer();
    ~SceneThumbnailer();
    SceneThumbnailer(const SceneThumbnailer&) = delete;
    SceneThumbnailer& operator=(const SceneThumbnailer&) = delete;

    // The scene's bytes are `length` bytes from `offset` in the transport stream `path`, as a
    // listing gives them. `image` is left empty unless the result is Made.
    Status Make(const std::string& path, std::uint64_t offset, std::uint64_t length,
                RgbImage& image);

    // Why a scene got no thumbnail, for messages: "its pictures cannot be decoded".
    static const char* Reason(Status status);

    struct Size {
        int width = 0;
        int height = 0;
    };
    // The thumbnail's size for a picture of `width` x `height` samples whose samples are
    // `aspectNum`:`aspectDen` (zero or less: square): the largest that fits kWidth x kMaxHeight
    // at the picture's display aspect ratio, each side even (as the JPEG's halved colour planes
    // like it) and at least 2.
    static Size ThumbnailSize(int width, int height, int aspectNum, int aspectDen);

  private:
    class Decoder;
    std::unique_ptr<Decoder> m_decoder;  // opened at the first scene
};

}  // namespace vornak
