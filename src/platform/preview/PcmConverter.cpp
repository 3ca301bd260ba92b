#include "PcmConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace vornak {
namespace {

constexpr float kFullScale = 32767.0F;
constexpr int kInt32ToInt16Shift = 16;

std::int16_t FromFloat(float value) {
    const float scaled = std::clamp(value, -1.0F, 1.0F) * kFullScale;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

// The sample of `channel` at `index`, as 16 bits.
std::int16_t SampleAt(const AVFrame& frame, int channel, int index, int sourceChannels) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const std::uint8_t* base = planar ? frame.extended_data[channel] : frame.extended_data[0];
    const int position = planar ? index : index * sourceChannels + channel;
    switch (format) {
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P: {
            std::int16_t value = 0;
            std::memcpy(&value, base + position * sizeof(std::int16_t), sizeof value);
            return value;
        }
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P: {
            std::int32_t value = 0;
            std::memcpy(&value, base + position * sizeof(std::int32_t), sizeof value);
            return static_cast<std::int16_t>(value >> kInt32ToInt16Shift);
        }
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP: {
            float value = 0;
            std::memcpy(&value, base + position * sizeof(float), sizeof value);
            return FromFloat(value);
        }
        default:
            return 0;
    }
}

bool IsKnownFormat(int format) {
    switch (format) {
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P:
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P:
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::size_t PcmConverter::Bytes(int samples, int channels) {
    if (samples <= 0 || channels <= 0) {
        return 0;
    }
    return static_cast<std::size_t>(samples) * static_cast<std::size_t>(channels) * kBytesPerSample;
}

std::size_t PcmConverter::Convert(const AVFrame& frame, int channels,
                                  std::span<std::uint8_t> target) {
    const int sourceChannels = frame.ch_layout.nb_channels;
    const std::size_t bytes = Bytes(frame.nb_samples, channels);
    if (bytes == 0 || sourceChannels <= 0 || target.size() < bytes ||
        !IsKnownFormat(frame.format) || frame.extended_data == nullptr) {
        return 0;
    }
    std::uint8_t* out = target.data();
    for (int index = 0; index < frame.nb_samples; ++index) {
        for (int channel = 0; channel < channels; ++channel) {
            const std::int16_t value =
                SampleAt(frame, std::min(channel, sourceChannels - 1), index, sourceChannels);
            std::memcpy(out, &value, sizeof value);
            out += sizeof value;
        }
    }
    return bytes;
}

}  // namespace vornak
