// The virtual camcorder: its stream (source packets with arrival stamps, many to a sample, the
// tape's bytes exactly once across stop and play, the end of the tape, pacing by the clock),
// its transport modes and timecode through the device control interfaces, camera mode, and
// the loss of the device.
#include "VirtualCamcorderFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ComPtr.h"
#include "DeviceControl.h"
#include "DvFrameReader.h"
#include "DvTestFrames.h"
#include "FakeEventGraph.h"
#include "FilterTestSupport.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderPin.h"

namespace vornak {
namespace {

using test::Bytes;
using namespace std::chrono_literals;
using Clock = TapeTransport::Clock;

constexpr std::size_t kSource = VirtualCamcorderPin::kSourcePacketSize;
constexpr auto kSafetyLimit = 60s;
// A tape without clock references plays at 25 Mbit/s: 60.16 us a packet, exactly.
constexpr Clock::duration kPacketTime = 60'160ns;

Bytes NumberedTape(std::size_t packets) {
    Bytes out(packets * PKT_SIZE);
    for (std::size_t i = 0; i < packets; ++i) {
        out[i * PKT_SIZE] = SYNC_BYTE;
        for (std::size_t b = 1; b < PKT_SIZE; ++b) {
            out[i * PKT_SIZE + b] = static_cast<std::uint8_t>(i * 7 + b);
        }
    }
    return out;
}

Bytes Packets(const Bytes& tape, std::size_t first, std::size_t end) {
    return Bytes(tape.begin() + static_cast<long>(first * PKT_SIZE),
                 tape.begin() + static_cast<long>(end * PKT_SIZE));
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// DV frames of `system` whose timecodes count from `second`:00 (so that every frame differs);
// none without a timecode when `second` is negative.
Bytes DvFrames(dv::DvSystem system, int frames, int second) {
    Bytes out;
    for (int i = 0; i < frames; ++i) {
        dv::test::FrameSetup setup;
        setup.system = system;
        setup.timecode = second >= 0;
        setup.tc = {0, 0, second, i};
        const Bytes frame = dv::test::MakeFrame(setup);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

class VirtualCamcorderFilterTest : public ::testing::Test {
  protected:
    VirtualCamcorderFilterTest()
        : m_camcorder(new VirtualCamcorderFilter()), m_sink(new test::SinkFilter()) {}
    ~VirtualCamcorderFilterTest() override {
        m_sink->Pin()->OpenGate();
        m_camcorder->Stop();
        m_sink->Stop();
        m_camcorder->JoinFilterGraph(nullptr, {});
        m_camcorder->GetOutputPin()->Disconnect();
        m_sink->Pin()->Disconnect();
    }

    void Start(const Bytes& tape, std::size_t perSample, double speed = 0) {
        StartMixed({{"tape.m2t", tape}}, perSample, speed);
    }
    // Writes the files and plays them as one tape.
    void StartMixed(const std::vector<std::pair<std::string, Bytes>>& files, std::size_t perSample,
                    double speed = 0) {
        std::string list;
        for (const auto& [name, bytes] : files) {
            test::WriteAll(m_dir.File(name), bytes);
            list += (list.empty() ? "" : ",") + m_dir.File(name);
        }
        ASSERT_TRUE(m_camcorder->LoadTape(list));
        m_camcorder->SetPacketsPerSample(perSample);
        m_camcorder->SetSpeed(speed);
        ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_sink->Pin(), nullptr), S_OK);
        ASSERT_EQ(m_sink->Run(0), S_OK);
        ASSERT_EQ(m_camcorder->Run(0), S_OK);
    }
    LONG Signal() {
        LONG signal = 0;
        EXPECT_EQ(m_camcorder->GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &signal, nullptr), S_OK);
        return signal;
    }
    DWORD Timecode() {
        TIMECODE_SAMPLE sample;
        sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
        EXPECT_EQ(m_camcorder->GetTimecode(&sample), S_OK);
        return sample.timecode.dwFrames;
    }
    // The camcorder's clock stands still until Advance moves it.
    void UseFakeClock() {
        m_camcorder->Transport().SetClock(
            [this] { return Clock::time_point(Clock::duration(m_now.load())); });
    }
    void Advance(Clock::duration by) {
        m_now += by.count();
        m_camcorder->Transport().Notify();
    }
    // The transport packets of every sample so far, and checks each source packet's header.
    Bytes Received() const {
        Bytes out;
        for (const auto& sample : m_sink->Pin()->Samples()) {
            EXPECT_EQ(sample.data.size() % kSource, 0u);
            for (std::size_t at = 0; at < sample.data.size(); at += kSource) {
                EXPECT_EQ(sample.data[at] & 0xFE, 0) << "reserved bits of the header";
                out.insert(out.end(), sample.data.begin() + static_cast<long>(at + 4),
                           sample.data.begin() + static_cast<long>(at + kSource));
            }
        }
        return out;
    }
    LONG Mode() {
        LONG mode = 0;
        EXPECT_EQ(m_camcorder->get_Mode(&mode), S_OK);
        return mode;
    }
    LONG DeviceType() {
        LONG type = 0;
        EXPECT_EQ(m_camcorder->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr), S_OK);
        return type;
    }

    test::TempDir m_dir;
    std::atomic<Clock::rep> m_now{1'000'000'000};
    test::FakeEventGraph m_graph;  // outlives the camcorder, which leaves it first
    ComPtr<VirtualCamcorderFilter> m_camcorder;
    ComPtr<test::SinkFilter> m_sink;
};

TEST_F(VirtualCamcorderFilterTest, PlaysTheWholeTapeAsSourcePacketsAndStopsAtItsEnd) {
    const Bytes tape = NumberedTape(1000);
    Start(tape, 64);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    EXPECT_EQ(m_camcorder->PlayTape(), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));

    EXPECT_EQ(Received(), tape);
    const auto samples = m_sink->Pin()->Samples();
    ASSERT_EQ(samples.size(), 16u);  // 15 full samples of 64 and one of 40
    EXPECT_EQ(samples.front().data.size(), 64 * kSource);
    EXPECT_EQ(samples.back().data.size(), 40 * kSource);
    EXPECT_EQ(m_camcorder->PacketsSent(), 1000u);
    EXPECT_EQ(m_sink->Pin()->EndOfStreams(), 1);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    EXPECT_TRUE(m_camcorder->Transport().AtEndOfTape());
}

// The packets that end the tape are on their way until the sink has them: till then the tape
// is reported playing, so that a capture stopped at the end of the tape gets them all.
TEST_F(VirtualCamcorderFilterTest, ReportsPlayUntilThePacketsThatEndTheTapeHaveArrived) {
    const Bytes tape = NumberedTape(50);
    Start(tape, 64);  // one sample takes the whole tape
    m_sink->Pin()->CloseGate();
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    EXPECT_EQ(m_camcorder->Transport().Mode(), TransportMode::Stop);
    EXPECT_EQ(Mode(), ED_MODE_PLAY);
    m_sink->Pin()->OpenGate();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    EXPECT_EQ(Received(), tape);
}

// Each part's bytes exactly, in tape order: the packets as source packets, each DV frame alone
// in a sample of exactly its bytes, whichever system it is of. The content tells DV, not the
// name, and a frame cut short at a file's end is not played.
TEST_F(VirtualCamcorderFilterTest, PlaysAMixedTapeByteForByteWithOneDvFrameToASample) {
    const Bytes a = NumberedTape(100);
    const Bytes b = DvFrames(dv::DvSystem::k625_50, 3, 1);
    const Bytes c = Packets(NumberedTape(200), 120, 200);
    const Bytes d = DvFrames(dv::DvSystem::k525_60, 2, 2);
    Bytes cut = d;
    cut.resize(cut.size() + dv::kFrameSize525 / 2, 0x55);
    StartMixed({{"a.dv", a}, {"b.m2t", b}, {"c.m2t", c}, {"d.dv", cut}}, 64);
    EXPECT_EQ(m_camcorder->PlayTape(), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));

    Bytes packets;
    Bytes frames;
    std::string kinds;
    for (const auto& sample : m_sink->Pin()->Samples()) {
        if (dv::IsWholeDvFrame(sample.data)) {
            kinds += 'D';
            frames.insert(frames.end(), sample.data.begin(), sample.data.end());
            continue;
        }
        kinds += 'T';
        ASSERT_EQ(sample.data.size() % kSource, 0u);
        for (std::size_t at = 0; at < sample.data.size(); at += kSource) {
            packets.insert(packets.end(), sample.data.begin() + static_cast<long>(at + 4),
                           sample.data.begin() + static_cast<long>(at + kSource));
        }
    }
    EXPECT_EQ(kinds, "TTDDDTTDD");  // 64 + 36 packets, 3 frames, 64 + 16 packets, 2 frames
    EXPECT_TRUE(packets == Joined({a, c}));
    EXPECT_TRUE(frames == Joined({b, d}));
    EXPECT_EQ(m_camcorder->PacketsSent(), 100u + 3 + 80 + 2);
    EXPECT_EQ(m_sink->Pin()->EndOfStreams(), 1);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
}

// A DV frame goes out when its time has come: 40 ms for 625/50, 1001/30000 s for 525/60; and
// while the tape is in DV the camcorder says so and gives the frame's own timecode (a frame
// without one, the playing time so far).
TEST_F(VirtualCamcorderFilterTest, PacesDvFramesAtTheirFrameRateAndSaysDvWhileInThem) {
    const Bytes a = NumberedTape(16);
    UseFakeClock();
    StartMixed({{"a.m2t", a},
                {"pal.dv", DvFrames(dv::DvSystem::k625_50, 1, 5)},
                {"ntsc.dv", DvFrames(dv::DvSystem::k525_60, 1, -1)},
                {"c.m2t", a}},
               16, 1);
    EXPECT_EQ(Signal(), VORNAK_SIGNAL_HDV);
    m_camcorder->PlayTape();
    const struct {
        Clock::duration time;  // since the sample before
        std::uint64_t position;
        LONG signal;
        DWORD timecode;
    } steps[] = {
        {16 * kPacketTime, 16, VORNAK_SIGNAL_DV, PackTimecode(0, 0, 5, 0)},
        {40ms, 17, VORNAK_SIGNAL_DV, PackTimecode(0, 0, 0, 1)},           // 41 ms of play
        {33'366'667ns, 18, VORNAK_SIGNAL_HDV, PackTimecode(0, 0, 0, 1)},  // 74.3 ms of play
        {16 * kPacketTime, 34, VORNAK_SIGNAL_HDV, PackTimecode(0, 0, 0, 1)},
    };
    std::size_t arrivals = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.position);
        Advance(step.time);
        ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(++arrivals));
        EXPECT_EQ(m_camcorder->Transport().Position(), step.position);
        EXPECT_EQ(m_sink->Pin()->Arrivals(), arrivals) << "a sample before its time";
        EXPECT_EQ(Signal(), step.signal);
        EXPECT_EQ(Timecode(), step.timecode);
    }
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
}

TEST_F(VirtualCamcorderFilterTest, StopAndPlayContinueWhereTheTapeStood) {
    const Bytes tape = NumberedTape(500);
    Start(tape, 10);
    m_sink->Pin()->CloseGate();
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    m_camcorder->StopTape();
    m_sink->Pin()->OpenGate();
    // Whatever was on its way is delivered; the rest waits for play.
    EXPECT_LT(m_camcorder->Transport().Position(), 500u);
    EXPECT_FALSE(m_camcorder->Transport().AtEndOfTape());

    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), tape);
}

TEST_F(VirtualCamcorderFilterTest, SendsNothingUntilTheGraphRuns) {
    const Bytes tape = NumberedTape(100);
    test::WriteAll(m_dir.File("tape.m2t"), tape);
    ASSERT_TRUE(m_camcorder->LoadTape(m_dir.File("tape.m2t")));
    m_camcorder->SetSpeed(0);
    ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_sink->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    ASSERT_EQ(m_camcorder->Pause(), S_OK);
    m_camcorder->PlayTape();
    EXPECT_EQ(m_camcorder->Transport().Position(), 0u);
    ASSERT_EQ(m_camcorder->Run(0), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), tape);
}

TEST_F(VirtualCamcorderFilterTest, PacedPlayDeliversEachSampleWhenItsTimeHasCome) {
    const Bytes tape = NumberedTape(100);
    UseFakeClock();
    Start(tape, 16, 1);
    m_camcorder->PlayTape();
    Advance(16 * kPacketTime);
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    EXPECT_EQ(m_camcorder->Transport().Position(), 16u);
    Advance(40 * kPacketTime);  // two more samples and half of the next one's time
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(3));
    EXPECT_EQ(m_camcorder->Transport().Position(), 48u);
    EXPECT_EQ(Received(), Packets(tape, 0, 48));

    m_camcorder->SetSpeed(2);  // pacing starts again at the new speed
    Advance(8 * kPacketTime);
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(4));
    EXPECT_EQ(m_camcorder->Transport().Position(), 64u);
}

TEST_F(VirtualCamcorderFilterTest, WindingAndFreezeSendNothingAndPlayGoesOnFromThere) {
    const Bytes tape = NumberedTape(3000);
    UseFakeClock();
    Start(tape, 10, 1);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY), S_OK);
    Advance(10 * kPacketTime);
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));

    // Winding goes at 30 times 16622.34 packets a second, fast play at 5 times.
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_FF), S_OK);
    Advance(1ms);
    EXPECT_EQ(Mode(), ED_MODE_FF);
    EXPECT_EQ(m_camcorder->Transport().Position(), 10u + 498u);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_FREEZE), S_OK);
    Advance(10s);
    EXPECT_EQ(Mode(), ED_MODE_FREEZE);
    EXPECT_EQ(m_camcorder->Transport().Position(), 508u);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_REW), S_OK);
    Advance(500us);
    EXPECT_EQ(Mode(), ED_MODE_REW);
    EXPECT_EQ(m_camcorder->Transport().Position(), 508u - 249u);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY_FASTEST_REV), S_OK);
    Advance(1ms);
    EXPECT_EQ(Mode(), ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(m_camcorder->Transport().Position(), 259u - 83u);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY_FASTEST_FWD), S_OK);
    Advance(2ms);
    EXPECT_EQ(Mode(), ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(m_camcorder->Transport().Position(), 176u + 166u);

    m_camcorder->SetSpeed(0);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    // Nothing came while winding, frozen or fast playing: only the two plays.
    EXPECT_EQ(Received(), Joined({Packets(tape, 0, 10), Packets(tape, 342, 3000)}));
    // The second play starts elsewhere on the tape: its first sample says so, no other does.
    const auto samples = m_sink->Pin()->Samples();
    ASSERT_GT(samples.size(), 2u);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].discontinuity, i <= 1) << "sample " << i;
    }
}

TEST_F(VirtualCamcorderFilterTest, WindingStopsAtEitherEndOfTheTape) {
    UseFakeClock();
    Start(NumberedTape(100), 10, 1);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_FF), S_OK);
    Advance(1s);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    EXPECT_EQ(m_camcorder->Transport().Position(), 100u);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY_FASTEST_REV), S_OK);
    Advance(1s);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    EXPECT_EQ(m_camcorder->Transport().Position(), 0u);
    EXPECT_EQ(m_sink->Pin()->Arrivals(), 0u);
}

TEST_F(VirtualCamcorderFilterTest, RefusesUnknownModesAndChangesNothing) {
    UseFakeClock();
    Start(NumberedTape(100), 10, 1);
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_FF), S_OK);
    for (const LONG mode : {0, 4299, ED_MODE_PLAY_FASTEST_FWD + 1, -1}) {
        EXPECT_EQ(m_camcorder->put_Mode(mode), E_INVALIDARG) << mode;
    }
    EXPECT_EQ(Mode(), ED_MODE_FF);
    EXPECT_EQ(m_camcorder->get_Mode(nullptr), E_POINTER);
    EXPECT_EQ(m_camcorder->GetCapability(ED_DEVCAP_DEVICE_TYPE, nullptr, nullptr), E_POINTER);
    LONG value = 0;
    EXPECT_EQ(m_camcorder->GetCapability(ED_DEVCAP_TIMECODE_READ, &value, nullptr), S_OK);
    EXPECT_NE(value, 0);
}

TEST_F(VirtualCamcorderFilterTest, TimecodeFollowsTheTapePosition) {
    // 16623 packets at 25 Mbit/s play for a second and 25 us.
    Start(NumberedTape(16'623), 256);
    TIMECODE_SAMPLE sample;
    sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
    ASSERT_EQ(m_camcorder->GetTimecode(&sample), S_OK);
    EXPECT_EQ(sample.timecode.dwFrames, PackTimecode(0, 0, 0, 0));
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    ASSERT_EQ(m_camcorder->GetTimecode(&sample), S_OK);
    EXPECT_EQ(sample.timecode.dwFrames, PackTimecode(0, 0, 1, 0));

    UseFakeClock();
    ASSERT_EQ(m_camcorder->put_Mode(ED_MODE_REW), S_OK);
    Advance(1ms);  // 498 packets back
    ASSERT_EQ(m_camcorder->GetTimecode(&sample), S_OK);
    EXPECT_EQ(sample.timecode.dwFrames, PackTimecode(0, 0, 0, 24));

    sample.dwFlags = 0;
    EXPECT_EQ(m_camcorder->GetTimecode(&sample), E_NOTIMPL);
    EXPECT_EQ(m_camcorder->GetTimecode(nullptr), E_POINTER);
}

TEST_F(VirtualCamcorderFilterTest, CameraModeLoopsTheTapeFromItsStartAndIgnoresTheTransport) {
    const Bytes tape = NumberedTape(100);
    UseFakeClock();
    Start(tape, 16, 1);
    m_camcorder->PlayTape();
    Advance(20 * kPacketTime);  // one sample of 16
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    EXPECT_EQ(DeviceType(), ED_DEVTYPE_VCR);

    m_camcorder->SetCameraMode(true);
    EXPECT_EQ(DeviceType(), ED_DEVTYPE_CAMERA);
    EXPECT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY), VFW_E_WRONG_STATE);
    EXPECT_EQ(m_camcorder->put_Mode(ED_MODE_FF), VFW_E_WRONG_STATE);
    EXPECT_EQ(Mode(), ED_MODE_STOP);
    // Twice the tape's time: 6 samples of 16 and one of 4, twice over.
    Advance(200 * kPacketTime);
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1 + 14));
    EXPECT_EQ(Received(), Joined({Packets(tape, 0, 16), tape, tape}));
    EXPECT_EQ(m_sink->Pin()->EndOfStreams(), 0);
    EXPECT_EQ(m_camcorder->Transport().Position(), 16u);

    // Back to the tape: the live stream stops, the tape goes on from where it stood.
    m_camcorder->SetCameraMode(false);
    EXPECT_EQ(DeviceType(), ED_DEVTYPE_VCR);
    Advance(1000 * kPacketTime);
    m_camcorder->SetSpeed(0);
    ASSERT_EQ(m_camcorder->PlayTape(), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), Joined({Packets(tape, 0, 16), tape, tape, Packets(tape, 16, 100)}));
}

TEST_F(VirtualCamcorderFilterTest, LosingTheDeviceStopsTheStreamAndTellsTheGraphOnce) {
    ASSERT_EQ(m_camcorder->JoinFilterGraph(&m_graph, "Camcorder"), S_OK);
    std::atomic<int> handled{0};
    m_camcorder->SetLostHandler([&] { ++handled; });
    const Bytes tape = NumberedTape(100);
    UseFakeClock();
    Start(tape, 10, 1);
    m_camcorder->PlayTape();
    Advance(10 * kPacketTime);
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));

    std::thread other([&] { m_camcorder->LoseDevice(); });
    m_camcorder->LoseDevice();
    other.join();
    EXPECT_TRUE(m_camcorder->IsLost());
    ASSERT_TRUE(m_graph.WaitForEvents(1));
    EXPECT_EQ(m_graph.Events(), (std::vector<test::FakeEventGraph::Event>{{EC_DEVICE_LOST, 0, 0}}));
    EXPECT_EQ(handled.load(), 1);

    Advance(1000 * kPacketTime);
    LONG value = 0;
    TIMECODE_SAMPLE timecode;
    timecode.dwFlags = ED_DEVCAP_TIMECODE_READ;
    EXPECT_EQ(m_camcorder->put_Mode(ED_MODE_PLAY), E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(m_camcorder->put_Mode(ED_MODE_STOP), E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(m_camcorder->get_Mode(&value), E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(m_camcorder->GetCapability(ED_DEVCAP_DEVICE_TYPE, &value, nullptr),
              E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(m_camcorder->GetTimecode(&timecode), E_DEVICE_NOT_CONNECTED);
    m_camcorder->SetCameraMode(true);  // a lost camcorder streams nothing, live or not
    Advance(1000 * kPacketTime);
    ASSERT_EQ(m_camcorder->Stop(), S_OK);  // the streaming thread has ended
    EXPECT_EQ(Received(), Packets(tape, 0, 10));
    EXPECT_EQ(m_camcorder->PacketsSent(), 10u);
    EXPECT_EQ(m_graph.Events().size(), 1u);
}

TEST_F(VirtualCamcorderFilterTest, LoseAfterUnplugsTheRunningDeviceOnce) {
    ASSERT_EQ(m_camcorder->JoinFilterGraph(&m_graph, "Camcorder"), S_OK);
    m_camcorder->SetLoseAfter(0.01);
    Start(NumberedTape(100), 10, 1);
    ASSERT_TRUE(m_graph.WaitForEvents(1));
    EXPECT_TRUE(m_camcorder->IsLost());
    ASSERT_EQ(m_camcorder->Stop(), S_OK);
    ASSERT_EQ(m_camcorder->Run(0), S_OK);  // a lost device is not lost again
    ASSERT_EQ(m_camcorder->Stop(), S_OK);
    EXPECT_EQ(m_graph.Events(), (std::vector<test::FakeEventGraph::Event>{{EC_DEVICE_LOST, 0, 0}}));
}

TEST_F(VirtualCamcorderFilterTest, StoppingBeforeTheLossTimeKeepsTheDevice) {
    ASSERT_EQ(m_camcorder->JoinFilterGraph(&m_graph, "Camcorder"), S_OK);
    m_camcorder->SetLoseAfter(3600);
    Start(NumberedTape(100), 10, 1);
    ASSERT_EQ(m_camcorder->Stop(), S_OK);  // ends the wait at once rather than in an hour
    EXPECT_FALSE(m_camcorder->IsLost());
    EXPECT_TRUE(m_graph.Events().empty());
    EXPECT_EQ(Mode(), ED_MODE_STOP);
}

TEST_F(VirtualCamcorderFilterTest, AnswersTheDeviceInterfacesCountingOnTheFilter) {
    ComPtr<IAMExtTransport> transport;
    ComPtr<IAMExtDevice> device;
    ComPtr<IAMTimecodeReader> reader;
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(m_camcorder->QueryInterface(IID_IAMExtTransport, transport.ReceiveVoid()), S_OK);
    ASSERT_EQ(transport->QueryInterface(IID_IAMExtDevice, device.ReceiveVoid()), S_OK);
    ASSERT_EQ(device->QueryInterface(IID_IAMTimecodeReader, reader.ReceiveVoid()), S_OK);
    ASSERT_EQ(reader->QueryInterface(IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    EXPECT_EQ(filter.Get(), static_cast<IBaseFilter*>(m_camcorder.Get()));
    EXPECT_EQ(transport.Get(), static_cast<IAMExtTransport*>(m_camcorder.Get()));

    // Every face adds to the one count: the filter's.
    const ULONG before = m_camcorder->AddRef();
    EXPECT_EQ(transport->AddRef(), before + 1);
    EXPECT_EQ(reader->AddRef(), before + 2);
    EXPECT_EQ(device->Release(), before + 1);
    EXPECT_EQ(transport->Release(), before);
    EXPECT_EQ(m_camcorder->Release(), before - 1);

    LONG mode = 0;
    ASSERT_EQ(transport->put_Mode(ED_MODE_PLAY), S_OK);  // no tape: stopped at its end at once
    ASSERT_EQ(transport->get_Mode(&mode), S_OK);
    EXPECT_EQ(mode, ED_MODE_STOP);
}

TEST_F(VirtualCamcorderFilterTest, OutputPinIsACapturePin) {
    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(
        m_camcorder->GetOutputPin()->QueryInterface(IID_IKsPropertySet, properties.ReceiveVoid()),
        S_OK);
    GUID category = GUID_NULL;
    DWORD returned = 0;
    ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof(category), &returned),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(returned, sizeof(GUID));
}

TEST(VirtualCamcorderPin, StampsPacketsWithTheBusCycleTimeOfTheirArrival) {
    // At 25 Mbit/s a packet takes 60.16 us: 1478.5 ticks of 24.576 MHz, 3072 ticks a cycle.
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(0, 25e6), 0u);
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(1, 25e6), 1478u);
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(3, 25e6), (1u << 12) | (4435u - 3072u));
    // One second later the cycle count has wrapped (8000 cycles a second).
    const std::uint64_t second = 25'000'000 / (188 * 8) + 1;
    EXPECT_LT(VirtualCamcorderPin::ArrivalStamp(second, 25e6) >> 12, 2u);
}

}  // namespace
}  // namespace vornak
