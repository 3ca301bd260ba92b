// The preview's MPEG audio decoder: MPEG-1 Layer II (MPEG1WAVEFORMAT, or a plain WAVEFORMATEX)
// in, interleaved 16-bit PCM of the input format's channels and rate out, one decoded frame
// (1152 samples a channel) per sample.
//
// While the tape plays DV, each sample is one DV frame: its sound (16-bit, or 12-bit widened to
// 16, at 32, 44.1 or 48 kHz) is taken from its audio blocks and brought to the output
// connection's rate and channels, so that the renderer plays on in the format it started with
// whichever kind of tape follows.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "DvAudioDeshuffler.h"
#include "FfmpegDecoderFilter.h"
#include "PcmResampler.h"

namespace vornak {

class CMpeg1AudioDecoder : public FfmpegDecoderFilter {
  public:
    static constexpr LONG kSamplesPerFrame = 1152;
    static constexpr LONG kFramesPerBuffer = 2;  // room to spare for a larger frame
    static constexpr LONG kBufferCount = 8;
    static constexpr int kMaxChannels = 2;
    static constexpr std::uint32_t kMinRate = 8000;
    static constexpr std::uint32_t kMaxRate = 48000;

    CMpeg1AudioDecoder();
    ~CMpeg1AudioDecoder() override;

    // MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet or MEDIASUBTYPE_MPEG1Payload, FORMAT_WaveFormatEx
    // with one or two channels at a rate MPEG audio knows.
    HRESULT CheckInputType(const CMediaType& input) override;
    // MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx: 16-bit, the input's channels and
    // rate.
    HRESULT MakeOutputType(const CMediaType& input, CMediaType& output) override;
    ALLOCATOR_PROPERTIES OutputBuffers(const CMediaType& output) override;

    // Decoded frames dropped because their rate was not the connection's (no resampling here).
    std::uint64_t RateMismatches() const {
        return m_nRateMismatches.load(std::memory_order_relaxed);
    }

  protected:
    void TakeOutputType(const CMediaType& output) override;
    // One decoded frame as PCM, timed on from the previous one when it has no time of its own.
    void DeliverFrame(const AVFrame& frame) override;
    void RestartStream() override;
    void DecodeDvFrame(std::span<const std::uint8_t> frame,
                       std::optional<REFERENCE_TIME> start) override;

  private:
    // Sends `pcm` (interleaved pairs) on, timed from `start` or on from the sound before.
    void DeliverStereo(std::span<const std::int16_t> pcm, std::optional<REFERENCE_TIME> start);

    int m_channels = 0;  // of the output connection; 0 while it has none
    int m_rate = 0;
    // Where the next frame starts when it comes without a time of its own.
    std::optional<REFERENCE_TIME> m_nextStart;
    std::atomic<std::uint64_t> m_nRateMismatches{0};
    std::array<std::int16_t, dv::DvAudioDeshuffler::kMaxSamples * dv::DvAudioDeshuffler::kChannels>
        m_dvSound{};
    PcmResampler m_resampler;
    std::vector<std::int16_t> m_resampled;
};

}  // namespace vornak
