// The sound test's measure, on made-up recordings: it must find tones, gaps and the start as
// they are, or the sound test could pass on sound that is wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "ToneAnalysis.h"

namespace vornak::test {
namespace {

constexpr int kRate = 48000;
constexpr double kAmplitude = 4096;

struct Piece {
    double hz;  // 0: silence
    double seconds;
};

std::vector<std::int16_t> Make(const std::vector<Piece>& pieces) {
    std::vector<std::int16_t> stereo;
    double phase = 0.3;
    for (const Piece& piece : pieces) {
        const auto frames = static_cast<std::size_t>(piece.seconds * kRate);
        for (std::size_t i = 0; i < frames; ++i) {
            const auto value = static_cast<std::int16_t>(
                piece.hz > 0 ? std::lround(kAmplitude * std::sin(phase)) : 0);
            stereo.push_back(value);
            stereo.push_back(value);
            phase += 2 * std::numbers::pi * piece.hz / kRate;
        }
    }
    return stereo;
}

struct Case {
    const char* name;
    std::vector<Piece> pieces;
    std::vector<double> tones;
    std::size_t firstFrame;
    std::size_t longestGap;  // at most this, and more than half of it
};

TEST(ToneAnalysis, FindsTonesGapsAndTheStart) {
    const Case cases[] = {
        {"three tones after silence",
         {{0, 0.5}, {440, 2}, {660, 2}, {880, 2}, {0, 0.3}},
         {440, 660, 880},
         kRate / 2,
         2},
        {"a gap of two frames inside a tone", {{1000, 1}, {0, 0.048}, {1000, 1}}, {1000}, 0, 2304},
        {"a tone slightly off", {{443.5, 2}}, {443.5}, 0, 2},
        {"too short to count", {{440, 2}, {660, 0.2}, {880, 2}}, {440, 880}, 0, 2},
    };
    for (const Case& c : cases) {
        const HeardSound heard = AnalyseTones(Make(c.pieces), kRate, kRate / 2);
        ASSERT_TRUE(heard.any) << c.name;
        EXPECT_NEAR(static_cast<double>(heard.firstFrame), static_cast<double>(c.firstFrame), 2)
            << c.name;
        EXPECT_LE(heard.longestGap, c.longestGap) << c.name;
        EXPECT_GT(heard.longestGap, c.longestGap / 2) << c.name;
        ASSERT_EQ(heard.tones.size(), c.tones.size()) << c.name;
        for (std::size_t i = 0; i < c.tones.size(); ++i) {
            EXPECT_NEAR(heard.tones[i].hz, c.tones[i], 0.5) << c.name << ", tone " << i;
        }
    }
    EXPECT_FALSE(AnalyseTones(Make({{0, 1}}), kRate, kRate / 2).any);
}

}  // namespace
}  // namespace vornak::test
