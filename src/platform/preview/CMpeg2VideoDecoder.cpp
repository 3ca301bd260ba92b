#include "CMpeg2VideoDecoder.h"

#include <cstddef>
#include <cstring>

#include "CDecoderInputPin.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewDecoders.h"

namespace vornak {
namespace {

constexpr std::uint16_t kPlanes = 1;  // as BITMAPINFOHEADER counts them
constexpr std::uint16_t kIyuvBitsPerPixel = 12;
// The format block without its sequence header bytes (its dwSequenceHeader[1] placeholder).
constexpr std::size_t kMinMpeg2FormatSize = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);

// The format block as an MPEG2VIDEOINFO; false when it is not one.
bool ReadMpeg2VideoInfo(const AM_MEDIA_TYPE& type, MPEG2VIDEOINFO& info) {
    if (type.formattype != FORMAT_MPEG2Video || type.pbFormat == nullptr ||
        type.cbFormat < kMinMpeg2FormatSize) {
        return false;
    }
    info = MPEG2VIDEOINFO{};
    std::memcpy(&info, type.pbFormat, std::min<std::size_t>(type.cbFormat, sizeof info));
    return true;
}

bool IsUsableSize(LONG width, LONG height) {
    return width > 0 && height > 0 && width <= CMpeg2VideoDecoder::kMaxDimension &&
           height <= CMpeg2VideoDecoder::kMaxDimension;
}

}  // namespace

CMpeg2VideoDecoder::CMpeg2VideoDecoder()
    : FfmpegDecoderFilter("CMpeg2VideoDecoder", CLSID_VornakMpeg2VideoDecoder,
                          AV_CODEC_ID_MPEG2VIDEO) {}

CMpeg2VideoDecoder::~CMpeg2VideoDecoder() = default;

HRESULT CMpeg2VideoDecoder::CheckInputType(const CMediaType& input) {
    MPEG2VIDEOINFO info;
    if (input.majortype != MEDIATYPE_Video || input.subtype != MEDIASUBTYPE_MPEG2_VIDEO ||
        !ReadMpeg2VideoInfo(input, info)) {
        return S_FALSE;
    }
    return IsUsableSize(info.hdr.bmiHeader.biWidth, info.hdr.bmiHeader.biHeight) ? S_OK : S_FALSE;
}

HRESULT CMpeg2VideoDecoder::MakeOutputType(const CMediaType& input, CMediaType& output) {
    MPEG2VIDEOINFO in;
    if (!ReadMpeg2VideoInfo(input, in) ||
        !IsUsableSize(in.hdr.bmiHeader.biWidth, in.hdr.bmiHeader.biHeight)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const LONG width = in.hdr.bmiHeader.biWidth;
    const LONG height = in.hdr.bmiHeader.biHeight;
    VIDEOINFOHEADER out;
    out.rcSource = RECT{0, 0, width, height};
    out.rcTarget = out.rcSource;
    out.AvgTimePerFrame = in.hdr.AvgTimePerFrame;
    out.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    out.bmiHeader.biWidth = width;
    out.bmiHeader.biHeight = height;
    out.bmiHeader.biPlanes = kPlanes;
    out.bmiHeader.biBitCount = kIyuvBitsPerPixel;
    out.bmiHeader.biCompression = kFourccIyuv;
    out.bmiHeader.biSizeImage =
        static_cast<std::uint32_t>(PictureConverter::PictureBytes(width, height));

    output = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_IYUV);
    output.formattype = FORMAT_VideoInfo;
    output.bFixedSizeSamples = 1;
    output.bTemporalCompression = 0;
    output.lSampleSize = out.bmiHeader.biSizeImage;
    if (!output.SetFormat(reinterpret_cast<const std::uint8_t*>(&out), sizeof out)) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

ALLOCATOR_PROPERTIES CMpeg2VideoDecoder::OutputBuffers(const CMediaType& output) {
    ALLOCATOR_PROPERTIES wanted;
    wanted.cBuffers = kPictureBuffers;
    wanted.cbBuffer = static_cast<LONG>(output.lSampleSize);
    return wanted;
}

void CMpeg2VideoDecoder::TakeOutputType(const CMediaType& output) {
    MPEG2VIDEOINFO in;
    const bool haveInput =
        InputPin()->IsConnected() && ReadMpeg2VideoInfo(InputPin()->CurrentMediaType(), in);
    m_aspectX = haveInput ? in.hdr.dwPictAspectRatioX : 0;
    m_aspectY = haveInput ? in.hdr.dwPictAspectRatioY : 0;
    VIDEOINFOHEADER info;
    if (output.IsValid() && ReadVideoInfo(output, info)) {
        m_width = info.bmiHeader.biWidth;
        m_height = info.bmiHeader.biHeight;
        m_frameDuration = info.AvgTimePerFrame;
    } else {
        m_width = 0;
        m_height = 0;
        m_frameDuration = 0;
    }
}

void CMpeg2VideoDecoder::DeliverFrame(const AVFrame& frame) {
    if (m_width == 0 || m_height == 0) {
        return;
    }
    std::optional<REFERENCE_TIME> start;
    std::optional<REFERENCE_TIME> stop;
    if (frame.pts != AV_NOPTS_VALUE) {
        start = frame.pts;  // fed in 100 ns units, so it comes back in them
        stop = frame.pts + m_frameDuration;
    }
    const int shownWidth = m_bDecodingDv ? ShownWidth(frame) : m_width;
    DeliverConverted(
        [&](std::span<std::uint8_t> buffer) {
            return m_converter.ConvertPillarboxed(frame, m_width, m_height, shownWidth, buffer);
        },
        start, stop);
}

int CMpeg2VideoDecoder::ShownWidth(const AVFrame& frame) const {
    const AVRational sar = frame.sample_aspect_ratio;
    if (m_aspectX == 0 || m_aspectY == 0 || sar.num <= 0 || sar.den <= 0 || frame.width <= 0 ||
        frame.height <= 0) {
        return m_width;
    }
    // The share of the output's width the picture's own aspect takes.
    const double share = static_cast<double>(frame.width) * sar.num * m_aspectY /
                         (static_cast<double>(frame.height) * sar.den * m_aspectX);
    constexpr double kNearlyFull = 0.98;
    if (share >= kNearlyFull) {
        return m_width;
    }
    return static_cast<int>(share * m_width / 2) * 2;
}

void CMpeg2VideoDecoder::DecodeDvFrame(std::span<const std::uint8_t> frame,
                                       std::optional<REFERENCE_TIME> start) {
    if (!m_dvDecoder.IsOpen() && !m_dvDecoder.Open()) {
        CountDecodeErrors(1);  // this FFmpeg has no DV decoder: the picture is lost
        return;
    }
    m_bDecodingDv = true;
    m_dvDecoder.Feed(frame, start, [this](const AVFrame& decoded) { DeliverFrame(decoded); });
    m_bDecodingDv = false;
    TakeDvErrors();
}

void CMpeg2VideoDecoder::DrainDv() {
    m_bDecodingDv = true;
    m_dvDecoder.Drain([this](const AVFrame& decoded) { DeliverFrame(decoded); });
    m_bDecodingDv = false;
    TakeDvErrors();
}

void CMpeg2VideoDecoder::StopDv() {
    m_dvDecoder.Close();
}

void CMpeg2VideoDecoder::TakeDvErrors() {
    if (const std::uint64_t errors = m_dvDecoder.TakeErrors(); errors > 0) {
        CountDecodeErrors(errors);
    }
}

}  // namespace vornak
