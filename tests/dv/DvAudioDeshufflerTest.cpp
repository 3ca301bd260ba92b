#include "DvAudioDeshuffler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DvFrameParser.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;

// The sound of every frame of `clip`, in order, as this class reads it.
std::vector<std::int16_t> SoundOf(const Bytes& clip, DvSystem system) {
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> stereo(DvAudioDeshuffler::kMaxSamples * DvAudioDeshuffler::kChannels);
    const std::size_t size = FrameSizeOf(system);
    for (std::size_t at = 0; at + size <= clip.size(); at += size) {
        const std::span<const std::uint8_t> frame(clip.data() + at, size);
        DvFrameInfo info;
        EXPECT_TRUE(DvFrameParser::Parse(frame, info));
        const auto result = DvAudioDeshuffler::Read(frame, info, stereo);
        EXPECT_EQ(result.samples, info.audioSamples) << "frame at " << at;
        EXPECT_EQ(result.errorSamples, 0);
        all.insert(all.end(), stereo.begin(), stereo.begin() + result.samples * 2);
    }
    return all;
}

TEST(DvAudioDeshuffler, PutsSixteenBitSoundBackInTheOrderFfmpegDecodesIt) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no DV clip to compare with";
    }
    vornak::test::TempDir dir;
    for (const auto& [target, system] :
         {std::pair{"pal-dv", DvSystem::k625_50}, std::pair{"ntsc-dv", DvSystem::k525_60}}) {
        SCOPED_TRACE(target);
        const std::string clip = dir.File(std::string(target) + ".dv");
        const std::string pcm = dir.File(std::string(target) + ".raw");
        // A tone that rises in pitch, so that any sample out of place shows.
        ASSERT_EQ(test::WriteFfmpegDvAndSound(
                      clip, pcm, target,
                      "aevalsrc=0.8*sin(2*PI*(200+400*t)*t)|0.8*cos(2*PI*300*t):s=48000"),
                  "");
        const Bytes expected = vornak::test::ReadAll(pcm);
        const std::vector<std::int16_t> sound = SoundOf(vornak::test::ReadAll(clip), system);
        ASSERT_EQ(sound.size() * 2, expected.size());
        EXPECT_EQ(std::memcmp(sound.data(), expected.data(), expected.size()), 0);
    }
}

TEST(DvAudioDeshuffler, WidensTwelveBitCodesAlongTheCurve) {
    struct Point {
        std::uint16_t code;
        std::int16_t expanded;
    };
    // Linear up to 511, then each segment of 256 codes doubles its step; negative codes mirror.
    const Point points[] = {{0x000, 0},     {0x1FF, 511},   {0x200, 512},  {0x2FF, 1022},
                            {0x300, 1024},  {0x400, 2048},  {0x500, 4096}, {0x700, 16384},
                            {0x7FF, 32704}, {0xFFF, -1},    {0xE00, -512}, {0xDFF, -513},
                            {0xD00, -1023}, {0x801, -32641}};
    for (const Point& p : points) {
        EXPECT_EQ(DvAudioDeshuffler::Expand12(p.code), p.expanded) << std::hex << p.code;
    }
    // Rising all the way from the most negative code to the most positive.
    for (int value = -2047; value < 2047; ++value) {
        const auto code = static_cast<std::uint16_t>(value & 0xFFF);
        const auto next = static_cast<std::uint16_t>((value + 1) & 0xFFF);
        ASSERT_LT(DvAudioDeshuffler::Expand12(code), DvAudioDeshuffler::Expand12(next)) << value;
    }
}

TEST(DvAudioDeshuffler, WritesNothingForAFrameCutShortOrTooLittleRoom) {
    const Bytes whole = test::MakeFrame();
    DvFrameInfo info;
    ASSERT_TRUE(DvFrameParser::Parse(whole, info));
    const Bytes cut(whole.begin(), whole.end() - kBlockSize);
    std::vector<std::int16_t> roomy(DvAudioDeshuffler::kMaxSamples * 2, 1234);
    std::vector<std::int16_t> small(static_cast<std::size_t>(info.audioSamples) * 2 - 1, 1234);
    EXPECT_EQ(DvAudioDeshuffler::Read(cut, info, roomy).samples, 0);
    EXPECT_EQ(DvAudioDeshuffler::Read(whole, info, small).samples, 0);
    EXPECT_EQ(roomy[0], 1234);
    EXPECT_EQ(small[0], 1234);
    EXPECT_EQ(DvAudioDeshuffler::Read(whole, info, roomy).samples, info.audioSamples);
}

}  // namespace
}  // namespace vornak::dv
