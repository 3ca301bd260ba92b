#include "CMpeg1AudioDecoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "CMpeg2Demultiplexer.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

constexpr int kRate = 48000;
constexpr double kTone = 1000.0;

WAVEFORMATEX Format(const AM_MEDIA_TYPE& type) {
    WAVEFORMATEX format;
    EXPECT_GE(type.cbFormat, sizeof format);
    std::memcpy(&format, type.pbFormat, sizeof format);
    return format;
}

// The samples of one channel out of interleaved 16-bit PCM.
std::vector<std::int16_t> Channel(const Bytes& pcm, int channels, int channel) {
    std::vector<std::int16_t> samples;
    const std::size_t frame = static_cast<std::size_t>(channels) * 2;
    for (std::size_t offset = static_cast<std::size_t>(channel) * 2; offset + 2 <= pcm.size();
         offset += frame) {
        std::int16_t value = 0;
        std::memcpy(&value, pcm.data() + offset, sizeof value);
        samples.push_back(value);
    }
    return samples;
}

// The tone's frequency from its zero crossings: two a period.
double Frequency(const std::vector<std::int16_t>& samples, int rate) {
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            ++crossings;
        }
    }
    return crossings / 2.0 * rate / static_cast<double>(samples.size());
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
        ASSERT_EQ(source->Push(test::FfmpegTestStream::Shared().Data()), S_OK);
        ASSERT_EQ(source->PushEndOfStream(), S_OK);
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

}  // namespace
}  // namespace vornak
