// The decode check done with libavcodec's MPEG-2 decoder: each PES packet of the video (one
// picture, in HDV) is decoded whole, and a picture fails when the decoder reports an error for
// it, hands it out marked damaged or concealed, or never hands it out at all.
//
// Pictures that cannot be judged are left alone: after a start (the first Feed, a Flush, or a
// sequence header unlike the last one) the pictures before the first I-picture, and the
// B-pictures that follow that I-picture in an open picture group, refer to pictures the decoder
// has never seen. libavcodec skips these itself; on a clean tape they are no damage.
//
// Threading: one job's thread only (libavcodec's slice threads work inside each call).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VideoDecodeCheck.h"

namespace vornak {

class FfmpegVideoDecodeCheck final : public VideoDecodeCheck {
  public:
    enum class Threading { Slice, Frame };
    struct Options {
        int threads = 0;  // 0: as many as the machine has cores
        Threading threading = Threading::Slice;
    };

    FfmpegVideoDecodeCheck();
    explicit FfmpegVideoDecodeCheck(const Options& options);
    ~FfmpegVideoDecodeCheck() override;
    FfmpegVideoDecodeCheck(const FfmpegVideoDecodeCheck&) = delete;
    FfmpegVideoDecodeCheck& operator=(const FfmpegVideoDecodeCheck&) = delete;

    // False when libavcodec has no MPEG-2 decoder or it would not open: nothing is checked then.
    bool Available() const;

    void Feed(const std::uint8_t* payload, std::size_t size, bool unitStart,
              std::uint64_t tag) override;
    void Flush() override;
    void TakeFailures(std::vector<std::uint64_t>& tags) override;

    // PES packets that went to the decoder and pictures that came out, since construction.
    std::uint64_t PacketsDecoded() const;
    std::uint64_t PicturesOut() const;

  private:
    class Decoder;
    std::unique_ptr<Decoder> m_decoder;
};

// For SceneSplitterSettings::decodeCheck.
std::unique_ptr<VideoDecodeCheck> MakeFfmpegVideoDecodeCheck();

}  // namespace vornak
