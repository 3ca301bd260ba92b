#include "PcmResampler.h"

#include <algorithm>

namespace vornak {

void PcmResampler::Reset() {
    m_channels = 0;
    m_inRate = 0;
    m_outRate = 0;
    m_previous.clear();
    m_position = 0;
}

void PcmResampler::Resample(std::span<const std::int16_t> input, int channels, int inRate,
                            int outRate, std::vector<std::int16_t>& output) {
    if (channels <= 0 || inRate <= 0 || outRate <= 0) {
        return;
    }
    const std::size_t width = static_cast<std::size_t>(channels);
    const std::int64_t frames = static_cast<std::int64_t>(input.size() / width);
    if (frames == 0) {
        return;
    }
    if (channels != m_channels || inRate != m_inRate || outRate != m_outRate) {
        // A new stream leans on its own first frame, which is also its first output.
        m_channels = channels;
        m_inRate = inRate;
        m_outRate = outRate;
        m_previous.assign(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(width));
        m_position = 0;
    }
    if (inRate == outRate) {
        output.insert(output.end(), input.begin(),
                      input.begin() + static_cast<std::ptrdiff_t>(frames * channels));
        return;
    }
    // Frame k of the stream seen here: 0 is m_previous, k > 0 is input frame k - 1.
    const auto sampleAt = [&](std::int64_t k, std::size_t channel) -> std::int64_t {
        return k == 0 ? m_previous[channel]
                      : input[static_cast<std::size_t>(k - 1) * width + channel];
    };
    const std::int64_t end = frames * outRate;
    for (; m_position < end; m_position += inRate) {
        const std::int64_t k = m_position / outRate;
        const std::int64_t fraction = m_position % outRate;
        for (std::size_t channel = 0; channel < width; ++channel) {
            const std::int64_t a = sampleAt(k, channel);
            const std::int64_t b = sampleAt(k + 1, channel);
            output.push_back(
                static_cast<std::int16_t>((a * (outRate - fraction) + b * fraction) / outRate));
        }
    }
    m_position -= end;
    m_previous.assign(input.begin() + static_cast<std::ptrdiff_t>((frames - 1) * channels),
                      input.begin() + static_cast<std::ptrdiff_t>(frames * channels));
}

}  // namespace vornak
