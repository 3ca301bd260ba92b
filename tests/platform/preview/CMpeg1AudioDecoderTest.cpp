#include "CMpeg1AudioDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "CMpeg2Demultiplexer.h"
#include "DvFrameParser.h"
#include "DvTestFrames.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;
using test::Channel;
using test::Frequency;

constexpr int kRate = 48000;
constexpr double kTone = 1000.0;

WAVEFORMATEX Format(const AM_MEDIA_TYPE& type) {
    WAVEFORMATEX format;
    EXPECT_GE(type.cbFormat, sizeof format);
    std::memcpy(&format, type.pbFormat, sizeof format);
    return format;
}

TEST(CMpeg1AudioDecoder, AcceptsMpegAudioOfOneOrTwoChannels) {
    ComPtr<CMpeg1AudioDecoder> decoder(new CMpeg1AudioDecoder());
    IPin* input = decoder->GetPin(0);
    const CMediaType packet = test::Mpeg1AudioType(2, kRate);
    EXPECT_EQ(input->QueryAccept(&packet), S_OK);
    CMediaType payload = packet;
    payload.subtype = MEDIASUBTYPE_MPEG1Payload;
    EXPECT_EQ(input->QueryAccept(&payload), S_OK);

    CMediaType pcm = packet;
    pcm.subtype = MEDIASUBTYPE_PCM;
    EXPECT_EQ(input->QueryAccept(&pcm), S_FALSE);
    const CMediaType noChannels = test::Mpeg1AudioType(0, kRate);
    EXPECT_EQ(input->QueryAccept(&noChannels), S_FALSE);
    const CMediaType surround = test::Mpeg1AudioType(6, kRate);
    EXPECT_EQ(input->QueryAccept(&surround), S_FALSE);
    CMediaType noFormat(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet);
    noFormat.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(input->QueryAccept(&noFormat), S_FALSE);
}

TEST(CMpeg1AudioDecoder, OutputIsSixteenBitPcmOfTheInputsChannelsAndRate) {
    ComPtr<CMpeg1AudioDecoder> decoder(new CMpeg1AudioDecoder());
    CMediaType output;
    ASSERT_EQ(decoder->MakeOutputType(test::Mpeg1AudioType(1, 44100), output), S_OK);
    EXPECT_EQ(output.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(output.subtype, MEDIASUBTYPE_PCM);
    EXPECT_EQ(output.formattype, FORMAT_WaveFormatEx);
    const WAVEFORMATEX format = Format(output);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 2);
    EXPECT_EQ(format.nAvgBytesPerSec, 88200u);
}

class CMpeg1AudioDecoderStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FfmpegTestStream::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed: no MPEG audio test stream";
        }
        ASSERT_FALSE(test::FfmpegTestStream::Shared().Data().empty())
            << test::FfmpegTestStream::Shared().Error();
    }
    void TearDown() override {
        test::StopAll({source.Get(), demux.Get(), decoder.Get(), sink.Get()});
        test::DisconnectAll({source.Get(), demux.Get(), decoder.Get(), sink.Get()});
    }

    void Play(const CMediaType& type) {
        Connect(type);
        ASSERT_EQ(source->Push(test::FfmpegTestStream::Shared().Data()), S_OK);
        ASSERT_EQ(source->PushEndOfStream(), S_OK);
    }
    void Connect(const CMediaType& type) {
        ASSERT_EQ(source->Pin()->Connect(demux->GetPin(0), nullptr), S_OK);
        ComPtr<IPin> pin;
        ASSERT_EQ(demux->CreateOutputPin(&type, "Audio", pin.Receive()), S_OK);
        ComPtr<IMPEG2PIDMap> map;
        ASSERT_EQ(pin->QueryInterface(IID_IMPEG2PIDMap, map.ReceiveVoid()), S_OK);
        const ULONG pid = test::kAudioPid;
        ASSERT_EQ(map->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM), S_OK);
        ASSERT_EQ(pin->Connect(decoder->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(decoder->GetPin(1)->Connect(sink->Pin(), nullptr), S_OK);
        test::RunAll({sink.Get(), decoder.Get(), demux.Get(), source.Get()});
    }
    Bytes Pcm() const {
        Bytes all;
        for (const auto& sample : sink->Samples()) {
            all.insert(all.end(), sample.data.begin(), sample.data.end());
        }
        return all;
    }

    ComPtr<test::StreamSource> source{new test::StreamSource()};
    ComPtr<CMpeg2Demultiplexer> demux{new CMpeg2Demultiplexer()};
    ComPtr<CMpeg1AudioDecoder> decoder{new CMpeg1AudioDecoder()};
    ComPtr<test::RecordingSink> sink{new test::RecordingSink(MEDIATYPE_Audio)};
};

TEST_F(CMpeg1AudioDecoderStreamTest, DecodesTheToneAsStereoPcmWithContiguousTimes) {
    Play(test::Mpeg1AudioType(2, kRate));
    const Bytes pcm = Pcm();
    const std::vector<std::int16_t> left = Channel(pcm, 2, 0);
    // About a second of sound, give or take the frames at either end.
    EXPECT_NEAR(static_cast<double>(left.size()), kRate, 3 * CMpeg1AudioDecoder::kSamplesPerFrame);
    EXPECT_NEAR(Frequency(left, kRate), kTone, kTone * 0.02);
    // The mono tone on both channels (joint stereo leaves them near, not equal).
    EXPECT_NEAR(Frequency(Channel(pcm, 2, 1), kRate), kTone, kTone * 0.02);
    EXPECT_EQ(decoder->DecodeErrors(), 0u);

    const auto samples = sink->Samples();
    ASSERT_FALSE(samples.empty());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i].start && samples[i].stop) << "sample " << i;
        if (i > 0) {
            EXPECT_NEAR(static_cast<double>(*samples[i].start),
                        static_cast<double>(*samples[i - 1].stop), 1.0)
                << "sample " << i;
        }
    }
}

TEST_F(CMpeg1AudioDecoderStreamTest, MonoConnectionTakesTheFirstChannel) {
    Play(test::Mpeg1AudioType(1, kRate));
    const std::vector<std::int16_t> mono = Channel(Pcm(), 1, 0);
    EXPECT_NEAR(Frequency(mono, kRate), kTone, kTone * 0.02);
}

TEST_F(CMpeg1AudioDecoderStreamTest, SoundOfAnotherRateIsDroppedNotResampled) {
    Play(test::Mpeg1AudioType(2, 44100));
    EXPECT_EQ(sink->SampleCount(), 0u);
    EXPECT_GT(decoder->RateMismatches(), 0u);
}

// A tape that changes from HDV to DV and back: the 1000 Hz tone, then DV's 440 Hz, then 1000 Hz.
TEST_F(CMpeg1AudioDecoderStreamTest, PlaysDvSoundBetweenStretchesOfMpegAudio) {
    std::string error;
    const std::vector<Bytes>& dvFrames = test::FfmpegDvFrames(&error);
    ASSERT_FALSE(dvFrames.empty()) << error;
    Connect(test::Mpeg1AudioType(2, kRate));
    ASSERT_EQ(source->Push(test::FfmpegTestStream::Shared().Data()), S_OK);
    const std::size_t hdvSamples = sink->SampleCount();
    ASSERT_EQ(source->PushEach(dvFrames), S_OK);
    const std::size_t dvSamples = sink->SampleCount();
    ASSERT_EQ(source->Push(test::FfmpegTestStream::Shared().Data()), S_OK);
    ASSERT_EQ(source->PushEndOfStream(), S_OK);

    const auto samples = sink->Samples();
    auto pcmOf = [&](std::size_t from, std::size_t to) {
        std::vector<Bytes> parts;
        for (std::size_t i = from; i < to; ++i) {
            parts.push_back(samples[i].data);
        }
        return test::Join(parts);
    };
    // DV at 48 kHz: 1920 samples a frame, each channel the tone.
    const Bytes dv = pcmOf(hdvSamples, dvSamples);
    EXPECT_EQ(dv.size(), dvFrames.size() * 1920 * 4);
    EXPECT_NEAR(Frequency(Channel(dv, 2, 0), kRate), 440.0, 440.0 * 0.02);
    EXPECT_NEAR(Frequency(Channel(dv, 2, 1), kRate), 440.0, 440.0 * 0.02);
    for (std::size_t i = hdvSamples + 1; i < dvSamples; ++i) {
        EXPECT_EQ(*samples[i].start, *samples[i - 1].stop) << "sample " << i;
    }
    const std::vector<std::int16_t> last = Channel(pcmOf(dvSamples, samples.size()), 2, 0);
    EXPECT_NEAR(static_cast<double>(last.size()), kRate, 3 * CMpeg1AudioDecoder::kSamplesPerFrame);
    EXPECT_NEAR(Frequency(last, kRate), kTone, kTone * 0.02);
    EXPECT_EQ(decoder->DecodeErrors(), 0u);
}

// Synthetic frames whose every sample holds one code: 12-bit at 32 kHz is widened and brought to
// the connection's 48 kHz; samples marked as errors play as silence and are counted.
TEST_F(CMpeg1AudioDecoderStreamTest, DvSoundOfAnyQuantisationAndRateReachesTheConnectionRate) {
    struct Case {
        const char* name;
        int bits;
        int rate;
        std::vector<std::uint8_t> pattern;  // repeated over every audio block's data
        std::int16_t expected;
        bool damaged;
    };
    const Case cases[] = {
        {"12-bit 32 kHz", 12, 32000, {0x40, 0x40, 0x00}, 2048, false},
        {"16-bit marked", 16, 48000, {0x80, 0x00}, 0, true},
    };
    constexpr int kFrames = 5;
    Connect(test::Mpeg1AudioType(2, kRate));
    std::uint64_t errorsBefore = 0;
    for (const Case& c : cases) {
        dv::test::FrameSetup setup;
        setup.audioBits = c.bits;
        setup.audioRate = c.rate;
        Bytes frame = dv::test::MakeFrame(setup);
        for (const std::size_t at : dv::test::AudioDataOffsets(dv::DvSystem::k625_50)) {
            for (std::size_t i = 0; i < dv::kAudioDataSize; ++i) {
                frame[at + i] = c.pattern[i % c.pattern.size()];
            }
        }
        dv::DvFrameInfo info;
        ASSERT_TRUE(dv::DvFrameParser::Parse(frame, info)) << c.name;
        const std::size_t before = Pcm().size();
        ASSERT_EQ(source->PushEach(std::vector<Bytes>(kFrames, frame)), S_OK);
        const Bytes pcm = Pcm();
        const std::vector<std::int16_t> got(
            reinterpret_cast<const std::int16_t*>(pcm.data() + before),
            reinterpret_cast<const std::int16_t*>(pcm.data() + pcm.size()));
        const double expectedFrames =
            static_cast<double>(kFrames) * info.audioSamples * kRate / c.rate;
        EXPECT_NEAR(static_cast<double>(got.size() / 2), expectedFrames, kFrames) << c.name;
        EXPECT_TRUE(std::all_of(got.begin(), got.end(), [&](std::int16_t v) {
            return v == c.expected;
        })) << c.name;
        EXPECT_EQ(decoder->DecodeErrors() - errorsBefore, c.damaged ? kFrames : 0u) << c.name;
        errorsBefore = decoder->DecodeErrors();
    }
}

}  // namespace
}  // namespace vornak
