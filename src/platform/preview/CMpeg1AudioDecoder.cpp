#include "CMpeg1AudioDecoder.h"

#include <algorithm>
#include <cstring>

#include "DvFrameParser.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PcmConverter.h"
#include "PreviewDecoders.h"

namespace vornak {
namespace {

constexpr std::uint16_t kPcmBitsPerSample = 16;
constexpr std::int64_t kReferenceTimePerSecond = 10'000'000;

bool ReadWaveFormat(const AM_MEDIA_TYPE& type, WAVEFORMATEX& format) {
    if (type.formattype != FORMAT_WaveFormatEx || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(WAVEFORMATEX)) {
        return false;
    }
    std::memcpy(&format, type.pbFormat, sizeof format);
    return true;
}

bool IsUsableFormat(const WAVEFORMATEX& format) {
    return format.nChannels >= 1 && format.nChannels <= CMpeg1AudioDecoder::kMaxChannels &&
           format.nSamplesPerSec >= CMpeg1AudioDecoder::kMinRate &&
           format.nSamplesPerSec <= CMpeg1AudioDecoder::kMaxRate;
}

}  // namespace

CMpeg1AudioDecoder::CMpeg1AudioDecoder()
    : FfmpegDecoderFilter("CMpeg1AudioDecoder", CLSID_VornakMpegAudioDecoder, AV_CODEC_ID_MP2) {}

CMpeg1AudioDecoder::~CMpeg1AudioDecoder() = default;

HRESULT CMpeg1AudioDecoder::CheckInputType(const CMediaType& input) {
    WAVEFORMATEX format;
    if (input.majortype != MEDIATYPE_Audio ||
        (input.subtype != MEDIASUBTYPE_MPEG1Packet && input.subtype != MEDIASUBTYPE_MPEG1Payload) ||
        !ReadWaveFormat(input, format)) {
        return S_FALSE;
    }
    return IsUsableFormat(format) ? S_OK : S_FALSE;
}

HRESULT CMpeg1AudioDecoder::MakeOutputType(const CMediaType& input, CMediaType& output) {
    WAVEFORMATEX in;
    if (!ReadWaveFormat(input, in) || !IsUsableFormat(in)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    WAVEFORMATEX out;
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = in.nChannels;
    out.nSamplesPerSec = in.nSamplesPerSec;
    out.wBitsPerSample = kPcmBitsPerSample;
    out.nBlockAlign = static_cast<std::uint16_t>(out.nChannels * PcmConverter::kBytesPerSample);
    out.nAvgBytesPerSec = out.nSamplesPerSec * out.nBlockAlign;
    out.cbSize = 0;

    output = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    output.formattype = FORMAT_WaveFormatEx;
    output.bFixedSizeSamples = 1;
    output.bTemporalCompression = 0;
    output.lSampleSize = out.nBlockAlign;
    if (!output.SetFormat(reinterpret_cast<const std::uint8_t*>(&out), sizeof out)) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

ALLOCATOR_PROPERTIES CMpeg1AudioDecoder::OutputBuffers(const CMediaType& output) {
    WAVEFORMATEX format;
    const int channels = ReadWaveFormat(output, format) ? format.nChannels : kMaxChannels;
    ALLOCATOR_PROPERTIES wanted;
    wanted.cBuffers = kBufferCount;
    wanted.cbBuffer =
        static_cast<LONG>(PcmConverter::Bytes(kSamplesPerFrame * kFramesPerBuffer, channels));
    return wanted;
}

void CMpeg1AudioDecoder::TakeOutputType(const CMediaType& output) {
    WAVEFORMATEX format;
    if (output.IsValid() && ReadWaveFormat(output, format)) {
        m_channels = format.nChannels;
        m_rate = static_cast<int>(format.nSamplesPerSec);
    } else {
        m_channels = 0;
        m_rate = 0;
    }
}

void CMpeg1AudioDecoder::RestartStream() {
    m_nextStart.reset();
    m_resampler.Reset();
}

void CMpeg1AudioDecoder::DecodeDvFrame(std::span<const std::uint8_t> frame,
                                       std::optional<REFERENCE_TIME> start) {
    if (m_channels == 0) {
        return;
    }
    dv::DvFrameInfo info;
    const dv::DvAudioDeshuffler::Result sound =
        dv::DvFrameParser::Parse(frame, info) ? dv::DvAudioDeshuffler::Read(frame, info, m_dvSound)
                                              : dv::DvAudioDeshuffler::Result{};
    if (sound.samples == 0) {
        CountDecodeErrors(1);  // no sound pack to read it by: the frame stays silent
        return;
    }
    if (sound.errorSamples > 0) {
        CountDecodeErrors(1);  // played all the same, its lost samples as silence
    }
    m_resampled.clear();
    m_resampler.Resample(
        std::span<const std::int16_t>(m_dvSound).first(static_cast<std::size_t>(sound.samples) *
                                                       dv::DvAudioDeshuffler::kChannels),
        dv::DvAudioDeshuffler::kChannels, info.audioRate, m_rate, m_resampled);
    DeliverStereo(m_resampled, start);
}

void CMpeg1AudioDecoder::DeliverStereo(std::span<const std::int16_t> pcm,
                                       std::optional<REFERENCE_TIME> start) {
    const std::size_t frames = pcm.size() / dv::DvAudioDeshuffler::kChannels;
    if (frames == 0) {
        return;
    }
    if (!start) {
        start = m_nextStart;
    }
    std::optional<REFERENCE_TIME> stop;
    if (start) {
        stop = *start + static_cast<REFERENCE_TIME>(frames) * kReferenceTimePerSecond / m_rate;
    }
    m_nextStart = stop;
    DeliverConverted(
        [&](std::span<std::uint8_t> buffer) -> std::size_t {
            const std::size_t bytes = PcmConverter::Bytes(static_cast<int>(frames), m_channels);
            if (bytes == 0 || buffer.size() < bytes) {
                return 0;
            }
            std::uint8_t* out = buffer.data();
            for (std::size_t index = 0; index < frames; ++index) {
                for (int channel = 0; channel < m_channels; ++channel) {
                    const std::int16_t value =
                        pcm[index * dv::DvAudioDeshuffler::kChannels +
                            static_cast<std::size_t>(
                                std::min(channel, dv::DvAudioDeshuffler::kChannels - 1))];
                    std::memcpy(out, &value, sizeof value);
                    out += sizeof value;
                }
            }
            return bytes;
        },
        start, stop);
}

void CMpeg1AudioDecoder::DeliverFrame(const AVFrame& frame) {
    if (m_channels == 0 || frame.nb_samples <= 0) {
        return;
    }
    if (frame.sample_rate != m_rate) {
        m_nRateMismatches.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::optional<REFERENCE_TIME> start = m_nextStart;
    if (frame.pts != AV_NOPTS_VALUE) {
        start = frame.pts;  // fed in 100 ns units, so it comes back in them
    }
    std::optional<REFERENCE_TIME> stop;
    if (start) {
        stop = *start + frame.nb_samples * kReferenceTimePerSecond / m_rate;
    }
    m_nextStart = stop;
    DeliverConverted(
        [&](std::span<std::uint8_t> buffer) {
            return PcmConverter::Convert(frame, m_channels, buffer);
        },
        start, stop);
}

}  // namespace vornak
