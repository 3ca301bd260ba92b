// The preview's MPEG-2 video decoder: MPEG-2 video (MPEG2VIDEOINFO) in, one IYUV picture per
// sample out, at the picture size the input's format block gives (HDV: 1440 x 1088, the coded
// size). Pictures go out in display order as soon as they are decoded, time-stamped with their
// PTS. While the tape plays DV, each sample is one DV frame, decoded by FFmpeg's DV decoder and
// scaled to the same connection size, so that the renderer never sees the tape change; a DV
// picture narrower than the input format's aspect (4:3 on a 16:9 preview) keeps its shape
// between black bars.
#pragma once

#include <optional>

#include "FfmpegDecoderFilter.h"
#include "PictureConverter.h"

namespace vornak {

class CMpeg2VideoDecoder : public FfmpegDecoderFilter {
  public:
    // Enough for the renderer to keep one picture on show while the next is filled.
    static constexpr LONG kPictureBuffers = 3;
    static constexpr LONG kMaxDimension = 4096;
    // 'IYUV' as a little-endian four-character code.
    static constexpr std::uint32_t kFourccIyuv = 0x56555949;

    CMpeg2VideoDecoder();
    ~CMpeg2VideoDecoder() override;

    // MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video with a picture size in
    // hdr.bmiHeader between 1 and kMaxDimension each way.
    HRESULT CheckInputType(const CMediaType& input) override;
    // MEDIATYPE_Video, MEDIASUBTYPE_IYUV, FORMAT_VideoInfo, of the input's picture size.
    HRESULT MakeOutputType(const CMediaType& input, CMediaType& output) override;
    ALLOCATOR_PROPERTIES OutputBuffers(const CMediaType& output) override;

  protected:
    void TakeOutputType(const CMediaType& output) override;
    // One picture, converted to the output connection's size.
    void DeliverFrame(const AVFrame& frame) override;
    void DecodeDvFrame(std::span<const std::uint8_t> frame,
                       std::optional<REFERENCE_TIME> start) override;
    void DrainDv() override;
    void StopDv() override;

  private:
    void TakeDvErrors();
    // Columns of the output a DV picture of this shape fills; m_width when it is as wide.
    int ShownWidth(const AVFrame& frame) const;

    // Opened at the first DV frame: an HDV tape never needs it.
    FfmpegDecoder m_dvDecoder{AV_CODEC_ID_DVVIDEO, FfmpegDecoder::Framing::kWholePackets};
    PictureConverter m_converter;
    int m_width = 0;  // of the output connection; 0 while it has none
    int m_height = 0;
    REFERENCE_TIME m_frameDuration = 0;
    // The input format's picture aspect; 0 when it names none.
    std::uint32_t m_aspectX = 0;
    std::uint32_t m_aspectY = 0;
    bool m_bDecodingDv = false;
};

}  // namespace vornak
