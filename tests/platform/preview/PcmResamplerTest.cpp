#include "PcmResampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "PreviewTestSupport.h"

namespace vornak {
namespace {

// `seconds` of a stereo tone at `rate`: `hz` on the left, silence-free 2 x `hz` on the right.
std::vector<std::int16_t> Tone(int rate, double hz, double seconds) {
    std::vector<std::int16_t> pcm;
    const int frames = static_cast<int>(rate * seconds);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        pcm.push_back(static_cast<std::int16_t>(20000 * std::sin(2 * std::numbers::pi * hz * t)));
        pcm.push_back(
            static_cast<std::int16_t>(20000 * std::sin(2 * std::numbers::pi * 2 * hz * t)));
    }
    return pcm;
}

TEST(PcmResampler, KeepsTheToneAndTheLengthAcrossBlocksOfAnySize) {
    struct Case {
        int inRate;
        int outRate;
        std::size_t blockFrames;  // as DV frames would cut it
    };
    const Case cases[] = {
        {32000, 48000, 1288}, {44100, 48000, 1764}, {48000, 48000, 1920}, {48000, 32000, 1000}};
    for (const Case& c : cases) {
        const std::vector<std::int16_t> input = Tone(c.inRate, 440, 1.0);
        std::vector<std::int16_t> whole;
        PcmResampler once;
        once.Resample(input, 2, c.inRate, c.outRate, whole);
        std::vector<std::int16_t> blocks;
        PcmResampler cut;
        for (std::size_t at = 0; at < input.size(); at += c.blockFrames * 2) {
            const std::size_t n = std::min(c.blockFrames * 2, input.size() - at);
            cut.Resample(std::span(input).subspan(at, n), 2, c.inRate, c.outRate, blocks);
        }
        EXPECT_EQ(blocks, whole) << c.inRate << " in blocks of " << c.blockFrames;
        EXPECT_NEAR(static_cast<double>(whole.size() / 2), c.outRate, 1) << c.inRate;
        EXPECT_NEAR(test::Frequency(test::Channel(whole, 2, 0), c.outRate), 440, 2) << c.inRate;
        EXPECT_NEAR(test::Frequency(test::Channel(whole, 2, 1), c.outRate), 880, 2) << c.inRate;
    }
}

TEST(PcmResampler, ANewRateStartsAFreshStream) {
    PcmResampler resampler;
    std::vector<std::int16_t> out;
    resampler.Resample(std::vector<std::int16_t>(2 * 320, 10000), 2, 32000, 48000, out);
    out.clear();
    resampler.Resample(std::vector<std::int16_t>(2 * 441, -10000), 2, 44100, 48000, out);
    // Nothing of the loud stream before leaks into the quiet one.
    EXPECT_EQ(out, std::vector<std::int16_t>(2 * 480, -10000));
}

}  // namespace
}  // namespace vornak
