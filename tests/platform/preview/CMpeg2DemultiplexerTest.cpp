#include "CMpeg2Demultiplexer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "CMpeg2DemuxOutputPin.h"
#include "Com.h"
#include "DvTestFrames.h"
#include "Guids.h"
#include "PreviewDecoders.h"
#include "PreviewTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

constexpr REFERENCE_TIME kOneSecond = 10'000'000;

class CMpeg2DemultiplexerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(source->Pin()->Connect(demux->GetPin(0), nullptr), S_OK);
        video =
            CreatePin(test::Mpeg2VideoType(1440, 1088), "Video", test::kVideoPid, videoSink.Get());
        audio =
            CreatePin(test::Mpeg1AudioType(2, 48000), "Audio", test::kAudioPid, audioSink.Get());
    }
    void TearDown() override {
        Stop();
        test::DisconnectAll({source.Get(), demux.Get(), videoSink.Get(), audioSink.Get()});
    }

    CMpeg2DemuxOutputPin* CreatePin(const CMediaType& type, const std::string& name, ULONG pid,
                                    test::RecordingSink* sink) {
        ComPtr<IPin> pin;
        EXPECT_EQ(demux->CreateOutputPin(&type, name, pin.Receive()), S_OK);
        ComPtr<IMPEG2PIDMap> map;
        EXPECT_EQ(pin->QueryInterface(IID_IMPEG2PIDMap, map.ReceiveVoid()), S_OK);
        EXPECT_EQ(map->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM), S_OK);
        EXPECT_EQ(pin->Connect(sink->Pin(), nullptr), S_OK);
        return static_cast<CMpeg2DemuxOutputPin*>(demux->GetPin(demux->GetPinCount() - 1));
    }
    void Run() { test::RunAll({videoSink.Get(), audioSink.Get(), demux.Get(), source.Get()}); }
    void Stop() { test::StopAll({source.Get(), demux.Get(), videoSink.Get(), audioSink.Get()}); }
    Bytes Video(const Bytes& payload, std::optional<std::int64_t> pts) {
        return test::Packetize(test::kVideoPid,
                               test::MakePes(test::kVideoStreamId, payload, pts, false),
                               videoCounter);
    }
    Bytes Audio(const Bytes& payload, std::optional<std::int64_t> pts) {
        return test::Packetize(
            test::kAudioPid, test::MakePes(test::kAudioStreamId, payload, pts, true), audioCounter);
    }
    std::uint64_t Delivered() const {
        std::uint64_t total = 0;
        for (const auto* sink : {videoSink.Get(), audioSink.Get()}) {
            for (const auto& sample : sink->Samples()) {
                total += sample.data.size();
            }
        }
        return total;
    }

    ComPtr<test::StreamSource> source{new test::StreamSource()};
    ComPtr<CMpeg2Demultiplexer> demux{new CMpeg2Demultiplexer()};
    ComPtr<test::RecordingSink> videoSink{new test::RecordingSink(MEDIATYPE_Video)};
    ComPtr<test::RecordingSink> audioSink{new test::RecordingSink(MEDIATYPE_Audio)};
    CMpeg2DemuxOutputPin* video = nullptr;
    CMpeg2DemuxOutputPin* audio = nullptr;
    std::uint8_t videoCounter = 0;
    std::uint8_t audioCounter = 0;
};

using test::Join;

TEST_F(CMpeg2DemultiplexerTest, MappedPidsReachTheirPinsAsPayloadsWithTimes) {
    const Bytes picture1 = test::Pattern(5000, 1);
    const Bytes picture2 = test::Pattern(700, 2);
    const Bytes sound = test::Pattern(600, 3);
    std::uint8_t otherCounter = 0;
    const Bytes stream = Join(
        {Video(picture1, 90000), Audio(sound, 45000),
         test::Packetize(0x815, test::MakePes(0xC1, test::Pattern(400, 4), 1, true), otherCounter),
         Video(picture2, std::nullopt)});
    Run();
    ASSERT_EQ(source->Push(stream, 1000), S_OK);  // cut off packet boundaries on purpose
    ASSERT_EQ(source->PushEndOfStream(), S_OK);

    const auto pictures = videoSink->Samples();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].data, picture1);
    EXPECT_EQ(pictures[0].start, kOneSecond);
    EXPECT_EQ(pictures[1].data, picture2);
    EXPECT_FALSE(pictures[1].start);
    const auto sounds = audioSink->Samples();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0].data, sound);
    EXPECT_EQ(sounds[0].start, kOneSecond / 2);
    EXPECT_EQ(videoSink->EndOfStreams(), 1);
    EXPECT_EQ(audioSink->EndOfStreams(), 1);
    EXPECT_EQ(demux->Statistics().deliveredPes.load(), 3u);
}

TEST_F(CMpeg2DemultiplexerTest, PesLargerThanOneSampleIsSplitAndTimedOnItsFirst) {
    const Bytes picture = test::Pattern(CMpeg2DemuxOutputPin::kVideoBufferSize + 1000, 5);
    Run();
    ASSERT_EQ(source->Push(Join({Video(picture, 900), Video({1, 2, 3}, 1800)})), S_OK);
    const auto samples = videoSink->Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].data.size(),
              static_cast<std::size_t>(CMpeg2DemuxOutputPin::kVideoBufferSize));
    EXPECT_EQ(Join({samples[0].data, samples[1].data}), picture);
    EXPECT_EQ(samples[0].start, 100000);
    EXPECT_FALSE(samples[1].start);
}

// A tape turning from HDV to DV and back: each DV frame goes whole, in one sample timed at its
// frame rate, to the video and the sound pin; the transport stream's PES packets on either side
// arrive whole and in order.
TEST_F(CMpeg2DemultiplexerTest, DvFramesGoWholeToVideoAndSoundPinsAtTheirFrameRate) {
    struct Case {
        dv::DvSystem system;
        double frameTime;
    };
    for (const Case& c :
         {Case{dv::DvSystem::k625_50, 400000.0}, Case{dv::DvSystem::k525_60, 1e7 * 1001 / 30000}}) {
        dv::test::FrameSetup setup;
        setup.system = c.system;
        const Bytes frame1 = dv::test::MakeFrame(setup);
        setup.tc[3] = 1;
        const Bytes frame2 = dv::test::MakeFrame(setup);
        const Bytes before = test::Pattern(3000, 1);  // no PES length: ends only at the change
        const Bytes after = test::Pattern(500, 2);
        Bytes stray = Video(test::Pattern(500, 3), 0);
        stray.resize(100);
        const std::size_t picturesBefore = videoSink->SampleCount();
        const std::size_t soundsBefore = audioSink->SampleCount();
        Run();
        ASSERT_EQ(source->Push(Video(before, 9000)), S_OK);
        // A piece of a packet just before the change must not be taken for part of the next.
        ASSERT_EQ(source->Push(stray), S_OK);
        ASSERT_EQ(source->PushEach({frame1, frame2}), S_OK);
        ASSERT_EQ(source->Push(Join({Video(after, 18000), Video({9}, 27000)})), S_OK);
        Stop();

        const auto all = videoSink->Samples();
        const std::vector<test::RecordedSample> pictures(all.begin() + picturesBefore, all.end());
        ASSERT_EQ(pictures.size(), 4u);
        EXPECT_EQ(pictures[0].data, before);
        EXPECT_EQ(pictures[1].data, frame1);
        EXPECT_EQ(pictures[2].data, frame2);
        EXPECT_EQ(pictures[3].data, after);
        EXPECT_NEAR(static_cast<double>(*pictures[2].start - *pictures[1].start), c.frameTime, 1);
        EXPECT_EQ(pictures[1].stop, pictures[2].start);
        const auto allSounds = audioSink->Samples();
        const std::vector<test::RecordedSample> sounds(allSounds.begin() + soundsBefore,
                                                       allSounds.end());
        ASSERT_EQ(sounds.size(), 2u);
        EXPECT_EQ(sounds[0].data, frame1);
        EXPECT_EQ(sounds[1].data, frame2);
        EXPECT_EQ(sounds[1].start, pictures[2].start);
    }
}

TEST_F(CMpeg2DemultiplexerTest, DamagedPacketsAreSkipped) {
    const Bytes good1 = test::Pattern(300, 1);
    const Bytes good2 = test::Pattern(300, 2);
    const Bytes good3 = test::Pattern(300, 3);

    // Packets refused whole take no continuity count, so that what follows them shows no gap
    // and the PES code meets the damage between them.
    const auto unCount = [this] {
        audioCounter = static_cast<std::uint8_t>((audioCounter + 15) % 16);
    };
    const Bytes first = Audio(good1, 90);
    Bytes adaptation255 = Audio(test::Pattern(100, 9), 1);
    adaptation255[4] = 255;  // the adaptation field would run past the packet
    unCount();
    Bytes headerPastEnd = Audio(test::Pattern(50, 9), 2);
    headerPastEnd[4 + 1 + headerPastEnd[4] + 8] = 250;  // PES_header_data_length past the end
    Bytes wrongSync = Audio(test::Pattern(100, 9), 3);
    wrongSync[0] = 0x48;
    unCount();
    Bytes jump = Video(test::Pattern(1000, 9), 4);  // six packets, the third lost below
    jump.erase(jump.begin() + 2 * 188, jump.begin() + 3 * 188);

    Run();
    ASSERT_EQ(source->Push(Join({first, adaptation255, headerPastEnd, wrongSync, Audio(good2, 180),
                                 jump, Video(good3, 270)})),
              S_OK);
    ASSERT_EQ(source->PushEndOfStream(), S_OK);

    const auto sounds = audioSink->Samples();
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0].data, good1);
    EXPECT_EQ(sounds[1].data, good2);
    const auto pictures = videoSink->Samples();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].data, good3);
    const DemuxStatistics& statistics = demux->Statistics();
    EXPECT_EQ(statistics.damagedPackets.load(), 2u);    // adaptation 255, wrong sync
    EXPECT_EQ(statistics.continuityBreaks.load(), 1u);  // the jump
    EXPECT_EQ(statistics.damagedPes.load(), 1u);        // the header past its end
}

TEST_F(CMpeg2DemultiplexerTest, PesFindingNoFreeSampleIsDroppedAndCounted) {
    audioSink->HoldSamples(true);
    Run();
    Bytes stream;
    const int total = CMpeg2DemuxOutputPin::kBufferCount + 3;
    for (int i = 0; i < total; ++i) {
        const Bytes sound = Audio(test::Pattern(100, static_cast<std::uint8_t>(i)), i);
        stream.insert(stream.end(), sound.begin(), sound.end());
    }
    ASSERT_EQ(source->Push(stream), S_OK);
    EXPECT_EQ(audioSink->SampleCount(),
              static_cast<std::size_t>(CMpeg2DemuxOutputPin::kBufferCount));
    EXPECT_EQ(audio->Dropped(), 3u);
    EXPECT_EQ(demux->Statistics().droppedPes.load(), 3u);

    audioSink->ReleaseHeldSamples();
    ASSERT_EQ(source->Push(Audio({7, 7, 7}, 99)), S_OK);
    EXPECT_EQ(audioSink->Samples().back().data, (Bytes{7, 7, 7}));
}

TEST_F(CMpeg2DemultiplexerTest, RandomGarbageNeverCrashesNorDeliversMoreThanItGot) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> coin(0, 3);
    Bytes stream;
    for (int packet = 0; packet < 3000; ++packet) {
        // Mostly packets that look right on the mapped PIDs, so that the PES code gets garbage.
        Bytes bytes(test::kPacketSize);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        if (coin(random) != 0) {
            const std::uint16_t pid = coin(random) < 2 ? test::kVideoPid : test::kAudioPid;
            bytes[0] = 0x47;
            bytes[1] = static_cast<std::uint8_t>((bytes[1] & 0x40) | (pid >> 8));
            bytes[2] = static_cast<std::uint8_t>(pid);
            if (coin(random) == 0) {
                const Bytes header = {0x00, 0x00, 0x01, 0xE0};
                std::copy(header.begin(), header.end(), bytes.begin() + 4);
            }
        }
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    Run();
    std::uniform_int_distribution<std::size_t> cut(1, test::StreamSourcePin::kBufferSize);
    for (std::size_t offset = 0; offset < stream.size();) {
        const std::size_t piece = std::min(cut(random), stream.size() - offset);
        ASSERT_EQ(source->Push(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(offset),
                                     stream.begin() + static_cast<std::ptrdiff_t>(offset + piece))),
                  S_OK);
        offset += piece;
    }
    ASSERT_EQ(source->PushEndOfStream(), S_OK);
    EXPECT_LE(Delivered(), stream.size());
}

TEST_F(CMpeg2DemultiplexerTest, UnmappedAndRemappedPids) {
    const ULONG audioPid = test::kAudioPid;
    ComPtr<IMPEG2PIDMap> audioMap;
    ASSERT_EQ(audio->QueryInterface(IID_IMPEG2PIDMap, audioMap.ReceiveVoid()), S_OK);
    ComPtr<IMPEG2PIDMap> videoMap;
    ASSERT_EQ(video->QueryInterface(IID_IMPEG2PIDMap, videoMap.ReceiveVoid()), S_OK);
    const ULONG tooLarge = 0x2000;
    EXPECT_EQ(videoMap->MapPID(1, &tooLarge, MEDIA_ELEMENTARY_STREAM), E_INVALIDARG);
    EXPECT_EQ(videoMap->MapPID(1, &audioPid, MEDIA_TRANSPORT_PACKET), E_INVALIDARG);
    EXPECT_EQ(videoMap->UnmapPID(1, &audioPid), S_OK);  // not its PID: left alone

    Run();
    ASSERT_EQ(source->Push(Audio({1}, 1)), S_OK);
    Stop();
    ASSERT_EQ(videoMap->MapPID(1, &audioPid, MEDIA_ELEMENTARY_STREAM), S_OK);
    Run();
    ASSERT_EQ(source->Push(Audio({2}, 2)), S_OK);
    Stop();
    ASSERT_EQ(videoMap->UnmapPID(1, &audioPid), S_OK);
    Run();
    ASSERT_EQ(source->Push(Audio({3}, 3)), S_OK);

    ASSERT_EQ(audioSink->SampleCount(), 1u);
    EXPECT_EQ(audioSink->Samples()[0].data, Bytes{1});
    ASSERT_EQ(videoSink->SampleCount(), 1u);
    EXPECT_EQ(videoSink->Samples()[0].data, Bytes{2});
}

TEST_F(CMpeg2DemultiplexerTest, OutputPinOffersExactlyACopyOfItsType) {
    CMediaType offered;
    ASSERT_EQ(audio->GetMediaType(0, &offered), S_OK);
    const CMediaType given = test::Mpeg1AudioType(2, 48000);
    EXPECT_EQ(offered.subtype, given.subtype);
    ASSERT_EQ(offered.cbFormat, given.cbFormat);
    EXPECT_NE(offered.pbFormat, audio->OfferedType().pbFormat);  // deep copies
    EXPECT_EQ(std::memcmp(offered.pbFormat, given.pbFormat, given.cbFormat), 0);
    EXPECT_EQ(audio->QueryAccept(&given), S_OK);
    const CMediaType mono = test::Mpeg1AudioType(1, 48000);
    EXPECT_EQ(audio->QueryAccept(&mono), S_FALSE);
    EXPECT_EQ(audio->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
}

TEST_F(CMpeg2DemultiplexerTest, PinsAreMadeAndDeletedOnlyWhileStopped) {
    const CMediaType type = test::Mpeg1AudioType(2, 48000);
    ComPtr<IPin> pin;
    EXPECT_EQ(demux->CreateOutputPin(&type, "Audio", pin.Receive()), E_INVALIDARG);
    EXPECT_EQ(demux->CreateOutputPin(&type, CMpeg2Demultiplexer::kInputPinName, pin.Receive()),
              E_INVALIDARG);
    Run();
    EXPECT_EQ(demux->CreateOutputPin(&type, "Audio 2", pin.Receive()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(demux->DeleteOutputPin("Audio"), VFW_E_NOT_STOPPED);
    Stop();

    const LONG version = demux->GetPinVersion();
    ComPtr<IPin> held(static_cast<IPin*>(audio));
    ASSERT_EQ(demux->DeleteOutputPin("Audio"), S_OK);
    EXPECT_GT(demux->GetPinVersion(), version);
    EXPECT_EQ(demux->GetPinCount(), 2);
    EXPECT_FALSE(audioSink->Pin()->IsConnected());
    IPin* found = nullptr;
    EXPECT_EQ(demux->FindPin("Audio", &found), VFW_E_NOT_FOUND);
    std::string id;
    EXPECT_EQ(held->QueryId(&id), S_OK);  // a reference still held keeps working
    EXPECT_EQ(demux->DeleteOutputPin("Audio"), VFW_E_NOT_FOUND);

    Run();
    ASSERT_EQ(source->Push(Audio({1}, 1)), S_OK);
    EXPECT_EQ(audioSink->SampleCount(), 0u);
}

TEST_F(CMpeg2DemultiplexerTest, StopWhileTheStreamFlowsOnAnotherThread) {
    // Made up front: the counters belong to this thread.
    std::vector<Bytes> chunks;
    for (int i = 0; i < 400; ++i) {
        chunks.push_back(Join({Video(test::Pattern(2000, 1), i), Audio(test::Pattern(300, 2), i)}));
    }
    Run();
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::thread feeder([&] {
        for (const Bytes& chunk : chunks) {
            if (stop.load()) {
                break;
            }
            source->Push(chunk);
        }
        finished.store(true);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (videoSink->SampleCount() < 5 && !finished.load() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    // Downstream first, as the graph stops them, while the feeder may still be pushing.
    test::StopAll({videoSink.Get(), audioSink.Get(), demux.Get()});
    stop.store(true);
    feeder.join();
    source->Stop();
    EXPECT_GE(videoSink->SampleCount(), 5u);
}

TEST(CMpeg2DemultiplexerCreation, CoCreateInstanceMakesOneOnceRegistered) {
    ASSERT_TRUE(Succeeded(CoInitialize(nullptr)));
    RegisterPreviewDecoders();
    ComPtr<IMpeg2Demultiplexer> demux;
    ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMpeg2Demultiplexer, demux.ReceiveVoid()),
              S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(demux->QueryInterface(IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    CLSID clsid;
    ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_MPEG2Demultiplexer);
    IPin* input = nullptr;
    ASSERT_EQ(filter->FindPin(CMpeg2Demultiplexer::kInputPinName, &input), S_OK);
    const CMediaType stream(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    const CMediaType video(MEDIATYPE_Video);
    EXPECT_EQ(input->QueryAccept(&stream), S_OK);
    EXPECT_EQ(input->QueryAccept(&video), S_FALSE);
    input->Release();
    CoUninitialize();
}

}  // namespace
}  // namespace vornak
