#include "FfmpegDecoderFilter.h"

namespace vornak {

FfmpegDecoderFilter::FfmpegDecoderFilter(const char* objectName, const CLSID& clsid,
                                         AVCodecID codec)
    : CDecoderFilter(objectName, clsid), m_decoder(codec) {}

FfmpegDecoderFilter::~FfmpegDecoderFilter() = default;

HRESULT FfmpegDecoderFilter::StartStreaming(const CMediaType& output) {
    TakeOutputType(output);
    RestartStream();
    return m_decoder.Open() ? S_OK : E_FAIL;
}

void FfmpegDecoderFilter::StopStreaming() {
    m_decoder.Close();
}

void FfmpegDecoderFilter::Decode(std::span<const std::uint8_t> data,
                                 std::optional<REFERENCE_TIME> start) {
    m_decoder.Feed(data, start, [this](const AVFrame& frame) { DeliverFrame(frame); });
    TakeDecoderErrors();
}

void FfmpegDecoderFilter::Drain() {
    m_decoder.Drain([this](const AVFrame& frame) { DeliverFrame(frame); });
    TakeDecoderErrors();
    RestartStream();
}

void FfmpegDecoderFilter::Discard() {
    m_decoder.Discard();
    RestartStream();
}

void FfmpegDecoderFilter::DeliverConverted(const SampleFiller& convert,
                                           std::optional<REFERENCE_TIME> start,
                                           std::optional<REFERENCE_TIME> stop) {
    bool converted = true;
    DeliverOutput(
        [&](std::span<std::uint8_t> buffer) {
            const std::size_t written = convert(buffer);
            converted = written != 0;
            return written;
        },
        start, stop);
    if (!converted) {
        CountDecodeErrors(1);
    }
}

void FfmpegDecoderFilter::TakeDecoderErrors() {
    if (const std::uint64_t errors = m_decoder.TakeErrors(); errors > 0) {
        CountDecodeErrors(errors);
    }
}

}  // namespace vornak
