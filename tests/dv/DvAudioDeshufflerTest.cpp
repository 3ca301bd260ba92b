#include "DvAudioDeshuffler.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DvFrameParser.h"
#include "DvTestFrames.h"

namespace vornak::dv {
namespace {

using test::Bytes;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
    struct Case {
        const char* target;
        const char* picture;
        DvSystem system;
    };
    const Case cases[] = {{"pal-dv", "720x576:rate=25", DvSystem::k625_50},
                          {"ntsc-dv", "720x480:rate=30000/1001", DvSystem::k525_60}};
    const auto folder =
        std::filesystem::temp_directory_path() / ("vornak-deshuffle-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (const Case& c : cases) {
        const auto clip = folder / (std::string(c.target) + ".dv");
        const auto pcm = folder / (std::string(c.target) + ".raw");
        // A tone that rises in pitch, so that any sample out of place shows.
        const std::string command =
            std::string(
                "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=") +
            c.picture +
            " -f lavfi -i \"aevalsrc=0.8*sin(2*PI*(200+400*t)*t)|0.8*cos(2*PI*300*t):s=48000\"" +
            " -t 1 -target " + c.target + " '" + clip.string() + "' && ffmpeg -nostdin" +
            " -hide_banner -loglevel error -y -i '" + clip.string() + "' -f s16le '" +
            pcm.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const Bytes expected = ReadFile(pcm);
        const std::vector<std::int16_t> sound = SoundOf(ReadFile(clip), c.system);
        ASSERT_EQ(sound.size() * 2, expected.size()) << c.target;
        EXPECT_EQ(std::memcmp(sound.data(), expected.data(), expected.size()), 0) << c.target;
    }
    std::filesystem::remove_all(folder);
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
