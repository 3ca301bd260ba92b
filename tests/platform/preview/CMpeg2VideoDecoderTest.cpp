#include "CMpeg2VideoDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "CMpeg2Demultiplexer.h"
#include "DvTestFrames.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

constexpr int kWidth = 1440;
constexpr int kCodedHeight = 1088;  // 1080 rounded up to whole macroblocks
constexpr int kShownHeight = 1080;
constexpr std::size_t kPicturesInStream = 25;
constexpr REFERENCE_TIME kPictureTime = 400000;

// Standard deviation of a picture's luma plane (its first width x height bytes).
double LumaDeviation(const Bytes& picture, int width, int height) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    double sum = 0;
    double squares = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += picture[i];
        squares += static_cast<double>(picture[i]) * picture[i];
    }
    const double mean = sum / static_cast<double>(count);
    return std::sqrt(squares / static_cast<double>(count) - mean * mean);
}

TEST(CMpeg2VideoDecoder, AcceptsMpeg2VideoOfAUsableSizeOnly) {
    ComPtr<CMpeg2VideoDecoder> decoder(new CMpeg2VideoDecoder());
    IPin* input = decoder->GetPin(0);
    const CMediaType hdv = test::Mpeg2VideoType(kWidth, kCodedHeight);
    EXPECT_EQ(input->QueryAccept(&hdv), S_OK);

    const CMediaType noSize = test::Mpeg2VideoType(0, kCodedHeight);
    EXPECT_EQ(input->QueryAccept(&noSize), S_FALSE);
    const CMediaType huge = test::Mpeg2VideoType(kWidth, 100000);
    EXPECT_EQ(input->QueryAccept(&huge), S_FALSE);
    CMediaType wrongSubtype = hdv;
    wrongSubtype.subtype = MEDIASUBTYPE_IYUV;
    EXPECT_EQ(input->QueryAccept(&wrongSubtype), S_FALSE);
    CMediaType shortFormat = hdv;
    shortFormat.SetFormat(hdv.pbFormat, sizeof(VIDEOINFOHEADER2));
    EXPECT_EQ(input->QueryAccept(&shortFormat), S_FALSE);
}

TEST(CMpeg2VideoDecoder, OutputIsIyuvOfTheInputsPictureSizeOnceTheInputIsConnected) {
    ComPtr<CMpeg2VideoDecoder> decoder(new CMpeg2VideoDecoder());
    CMediaType output;
    EXPECT_EQ(decoder->GetPin(1)->GetMediaType(0, &output), VFW_S_NO_MORE_ITEMS);

    ASSERT_EQ(decoder->MakeOutputType(test::Mpeg2VideoType(kWidth, kCodedHeight), output), S_OK);
    EXPECT_EQ(output.majortype, MEDIATYPE_Video);
    EXPECT_EQ(output.subtype, MEDIASUBTYPE_IYUV);
    VIDEOINFOHEADER info;
    ASSERT_TRUE(ReadVideoInfo(output, info));
    EXPECT_EQ(info.bmiHeader.biWidth, kWidth);
    EXPECT_EQ(info.bmiHeader.biHeight, kCodedHeight);
    EXPECT_EQ(info.bmiHeader.biBitCount, 12);
    EXPECT_EQ(info.bmiHeader.biCompression, CMpeg2VideoDecoder::kFourccIyuv);
    EXPECT_EQ(info.bmiHeader.biSizeImage,
              static_cast<std::uint32_t>(kWidth * kCodedHeight * 3 / 2));
    EXPECT_EQ(info.AvgTimePerFrame, kPictureTime);
    EXPECT_EQ(output.lSampleSize, info.bmiHeader.biSizeImage);
}

class CMpeg2VideoDecoderStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FfmpegTestStream::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed: no MPEG-2 test stream to decode";
        }
        ASSERT_FALSE(test::FfmpegTestStream::Shared().Data().empty())
            << test::FfmpegTestStream::Shared().Error();
    }
    void TearDown() override {
        test::StopAll({source.Get(), demux.Get(), decoder.Get(), sink.Get()});
        test::DisconnectAll({source.Get(), demux.Get(), decoder.Get(), sink.Get()});
    }

    // source -> demultiplexer (video pin of `width` x `height`) -> decoder -> sink.
    void Connect(int width, int height) {
        ASSERT_EQ(source->Pin()->Connect(demux->GetPin(0), nullptr), S_OK);
        const CMediaType type = test::Mpeg2VideoType(width, height);
        ComPtr<IPin> pin;
        ASSERT_EQ(demux->CreateOutputPin(&type, "Video", pin.Receive()), S_OK);
        ComPtr<IMPEG2PIDMap> map;
        ASSERT_EQ(pin->QueryInterface(IID_IMPEG2PIDMap, map.ReceiveVoid()), S_OK);
        const ULONG pid = test::kVideoPid;
        ASSERT_EQ(map->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM), S_OK);
        ASSERT_EQ(pin->Connect(decoder->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(decoder->GetPin(1)->Connect(sink->Pin(), nullptr), S_OK);
        test::RunAll({sink.Get(), decoder.Get(), demux.Get(), source.Get()});
    }
    void Play(const Bytes& stream) {
        ASSERT_EQ(source->Push(stream), S_OK);
        ASSERT_EQ(source->PushEndOfStream(), S_OK);
    }
    static const std::vector<Bytes>& DvFrames() {
        std::string error;
        const std::vector<Bytes>& frames = test::FfmpegDvFrames(&error);
        EXPECT_FALSE(frames.empty()) << error;
        return frames;
    }

    ComPtr<test::StreamSource> source{new test::StreamSource()};
    ComPtr<CMpeg2Demultiplexer> demux{new CMpeg2Demultiplexer()};
    ComPtr<CMpeg2VideoDecoder> decoder{new CMpeg2VideoDecoder()};
    ComPtr<test::RecordingSink> sink{new test::RecordingSink(MEDIATYPE_Video)};
};

TEST_F(CMpeg2VideoDecoderStreamTest, DecodesEveryPictureAtTheCodedSizeInDisplayOrder) {
    Connect(kWidth, kCodedHeight);
    Play(test::FfmpegTestStream::Shared().Data());

    const auto pictures = sink->Samples();
    ASSERT_EQ(pictures.size(), kPicturesInStream);
    EXPECT_EQ(decoder->DecodeErrors(), 0u);
    EXPECT_EQ(decoder->Dropped(), 0u);
    EXPECT_EQ(sink->EndOfStreams(), 1);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Bytes& picture = pictures[i].data;
        ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth * kCodedHeight * 3 / 2));
        EXPECT_GT(LumaDeviation(picture, kWidth, kShownHeight), 20.0) << "picture " << i;
        // The rows below the shown picture are black, not stretched picture.
        const auto padding = picture.begin() + kWidth * kShownHeight;
        EXPECT_TRUE(std::all_of(padding, padding + kWidth * (kCodedHeight - kShownHeight),
                                [](std::uint8_t y) { return y == 16; }));
        ASSERT_TRUE(pictures[i].start) << "picture " << i;
        EXPECT_EQ(*pictures[i].stop - *pictures[i].start, kPictureTime);
        if (i > 0) {
            EXPECT_EQ(*pictures[i].start - *pictures[i - 1].start, kPictureTime)
                << "pictures " << i - 1 << " and " << i << " out of display order";
        }
    }
}

TEST_F(CMpeg2VideoDecoderStreamTest, ScalesToAnotherConnectionSize) {
    Connect(720, 544);
    Play(test::FfmpegTestStream::Shared().Data());
    const auto pictures = sink->Samples();
    ASSERT_EQ(pictures.size(), kPicturesInStream);
    ASSERT_EQ(pictures[0].data.size(), static_cast<std::size_t>(720 * 544 * 3 / 2));
    EXPECT_GT(LumaDeviation(pictures[0].data, 720, 544), 20.0);
}

TEST_F(CMpeg2VideoDecoderStreamTest, PicturesFindingNoFreeSampleAreDroppedAndCounted) {
    sink->HoldSamples(true);
    Connect(kWidth, kCodedHeight);
    Play(test::FfmpegTestStream::Shared().Data());
    EXPECT_EQ(sink->SampleCount(), static_cast<std::size_t>(CMpeg2VideoDecoder::kPictureBuffers));
    EXPECT_EQ(decoder->Delivered(),
              static_cast<std::uint64_t>(CMpeg2VideoDecoder::kPictureBuffers));
    EXPECT_EQ(decoder->Dropped(), kPicturesInStream - CMpeg2VideoDecoder::kPictureBuffers);
    sink->ReleaseHeldSamples();
}

// The test stream with four bytes of each video packet's payload overwritten.
Bytes DamagedStream() {
    Bytes stream = test::FfmpegTestStream::Shared().Data();
    std::mt19937 random(1088);
    std::uniform_int_distribution<std::size_t> offset(8, test::kPacketSize - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t packet = 0; packet + test::kPacketSize <= stream.size();
         packet += test::kPacketSize) {
        const int pid = ((stream[packet + 1] & 0x1F) << 8) | stream[packet + 2];
        if (pid == test::kVideoPid) {
            for (int hit = 0; hit < 4; ++hit) {
                stream[packet + offset(random)] = static_cast<std::uint8_t>(byte(random));
            }
        }
    }
    return stream;
}

TEST_F(CMpeg2VideoDecoderStreamTest, DamagedStreamIsSurvivedAndCounted) {
    Connect(kWidth, kCodedHeight);
    Play(DamagedStream());
    EXPECT_GT(decoder->DecodeErrors(), 0u);
    for (const auto& picture : sink->Samples()) {
        EXPECT_EQ(picture.data.size(), static_cast<std::size_t>(kWidth * kCodedHeight * 3 / 2));
    }
}

TEST_F(CMpeg2VideoDecoderStreamTest, DamageIsCountedOnceAcrossAStopAndARun) {
    Connect(kWidth, kCodedHeight);
    Play(DamagedStream());
    const std::uint64_t damage = decoder->DecodeErrors();
    ASSERT_GT(damage, 0u);

    test::StopAll({source.Get(), demux.Get(), decoder.Get(), sink.Get()});
    test::RunAll({sink.Get(), decoder.Get(), demux.Get(), source.Get()});
    Play(test::FfmpegTestStream::Shared().Data());
    EXPECT_EQ(decoder->DecodeErrors(), damage);
}

// Black, and nothing but black, in columns [from, to) of the shown rows' luma.
bool BlackColumns(const Bytes& picture, int from, int to) {
    for (int y = kCodedHeight - kShownHeight; y < kShownHeight; ++y) {
        for (int x = from; x < to; ++x) {
            if (picture[static_cast<std::size_t>(y * kWidth + x)] != 16) {
                return false;
            }
        }
    }
    return true;
}

// A tape that changes from HDV to DV and back: every picture of each stretch, DV's timed at its
// frame rate and scaled to the connection's size, a 4:3 one between black bars.
TEST_F(CMpeg2VideoDecoderStreamTest, DecodesDvPicturesBetweenStretchesOfMpeg2) {
    const std::vector<Bytes>& dvFrames = DvFrames();
    ASSERT_FALSE(dvFrames.empty());
    Connect(kWidth, kCodedHeight);
    ASSERT_EQ(source->Push(test::FfmpegTestStream::Shared().Data()), S_OK);
    // The pictures the MPEG-2 decoder held back come out as the tape turns to DV.
    EXPECT_LT(sink->SampleCount(), kPicturesInStream);
    ASSERT_EQ(source->PushEach(dvFrames), S_OK);
    const std::size_t beforeDv = kPicturesInStream;
    ASSERT_EQ(sink->SampleCount(), beforeDv + dvFrames.size());
    Play(test::FfmpegTestStream::Shared().Data());

    const auto pictures = sink->Samples();
    ASSERT_EQ(pictures.size(), 2 * kPicturesInStream + dvFrames.size());
    EXPECT_EQ(decoder->DecodeErrors(), 0u);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_EQ(pictures[i].data.size(), static_cast<std::size_t>(kWidth * kCodedHeight * 3 / 2));
        EXPECT_GT(LumaDeviation(pictures[i].data, kWidth, kShownHeight), 20.0) << "picture " << i;
    }
    constexpr int kBar = (kWidth - kWidth * 3 / 4) / 2;
    for (std::size_t i = beforeDv; i < beforeDv + dvFrames.size(); ++i) {
        const Bytes& picture = pictures[i].data;
        EXPECT_TRUE(BlackColumns(picture, 0, kBar) && BlackColumns(picture, kWidth - kBar, kWidth));
        // The picture itself reaches the bars: the test picture has no black at its edges.
        EXPECT_FALSE(BlackColumns(picture, kBar, kBar + 2) ||
                     BlackColumns(picture, kWidth - kBar - 2, kWidth - kBar));
        if (i > beforeDv) {
            EXPECT_EQ(*pictures[i].start - *pictures[i - 1].start, kPictureTime) << i;
        }
    }
}

TEST_F(CMpeg2VideoDecoderStreamTest, DamagedDvFramesAreSurvived) {
    const std::vector<Bytes>& dvFrames = DvFrames();
    ASSERT_FALSE(dvFrames.empty());
    std::mt19937 random(576);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<Bytes> damaged;
    for (int kind = 0; kind < 3; ++kind) {
        Bytes frame = dvFrames[0];
        for (const std::size_t at : dv::test::VideoBlockOffsets(dv::DvSystem::k625_50)) {
            // Marked in error and filled with noise, or all ones, or all zeros.
            frame[at + dv::kVideoStaByte] = dv::kStaNotConcealed << dv::kVideoStaShift;
            for (std::size_t i = dv::kVideoStaByte + 1; i < dv::kBlockSize; ++i) {
                frame[at + i] = kind == 0   ? static_cast<std::uint8_t>(byte(random))
                                : kind == 1 ? 0xFF
                                            : 0x00;
            }
        }
        damaged.push_back(std::move(frame));
    }
    Connect(kWidth, kCodedHeight);
    ASSERT_EQ(source->PushEach(damaged), S_OK);
    ASSERT_EQ(source->PushEach({dvFrames[1]}), S_OK);
    ASSERT_EQ(source->PushEndOfStream(), S_OK);
    const auto pictures = sink->Samples();
    ASSERT_FALSE(pictures.empty());
    for (const auto& picture : pictures) {
        EXPECT_EQ(picture.data.size(), static_cast<std::size_t>(kWidth * kCodedHeight * 3 / 2));
    }
    // A whole frame after the damage shows as one.
    EXPECT_GT(LumaDeviation(pictures.back().data, kWidth, kShownHeight), 20.0);
}

}  // namespace
}  // namespace vornak
