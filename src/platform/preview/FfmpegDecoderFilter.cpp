#include "FfmpegDecoderFilter.h"

#include "DvFrameReader.h"

namespace vornak {

FfmpegDecoderFilter::FfmpegDecoderFilter(const char* objectName, const CLSID& clsid,
                                         AVCodecID codec)
    : CDecoderFilter(objectName, clsid), m_decoder(codec) {}

FfmpegDecoderFilter::~FfmpegDecoderFilter() = default;

HRESULT FfmpegDecoderFilter::StartStreaming(const CMediaType& output) {
    TakeOutputType(output);
    m_bInDv = false;
    RestartStream();
    return m_decoder.Open() ? S_OK : E_FAIL;
}

void FfmpegDecoderFilter::StopStreaming() {
    m_decoder.Close();
    StopDv();
}

void FfmpegDecoderFilter::Decode(std::span<const std::uint8_t> data,
                                 std::optional<REFERENCE_TIME> start) {
    const bool dvFrame = dv::IsWholeDvFrame(data);
    if (dvFrame != m_bInDv) {
        // The tape changed kind: the last pictures or sound of the old kind still go out, and
        // nothing of one kind is taken as the continuation of the other.
        if (m_bInDv) {
            DrainDv();
        } else {
            m_decoder.Drain([this](const AVFrame& frame) { DeliverFrame(frame); });
            TakeDecoderErrors();
        }
        m_bInDv = dvFrame;
        RestartStream();
    }
    if (dvFrame) {
        DecodeDvFrame(data, start);
        return;
    }
    m_decoder.Feed(data, start, [this](const AVFrame& frame) { DeliverFrame(frame); });
    TakeDecoderErrors();
}

void FfmpegDecoderFilter::Drain() {
    if (m_bInDv) {
        DrainDv();
    }
    m_decoder.Drain([this](const AVFrame& frame) { DeliverFrame(frame); });
    TakeDecoderErrors();
    m_bInDv = false;
    RestartStream();
}

void FfmpegDecoderFilter::Discard() {
    m_decoder.Discard();
    m_bInDv = false;
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
