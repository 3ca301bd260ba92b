// The capture session with the virtual camcorder: its connection and timecode, its loss, a
// capture graph run and stopped many times, and a stop racing the worker's own.
#include "CaptureSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "Com.h"
#include "FakeCamcorder.h"
#include "FilterTestSupport.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderPin.h"
#include "VirtualCamcorderSource.h"
#include "VirtualTape.h"

namespace vornak {
namespace {

// The tape's rate when it carries no clock references: 25,000,000 bits a second.
constexpr std::uint64_t kPacketsPerTwoSeconds = 2 * 25'000'000 / (188 * 8) + 1;

class CaptureSessionVirtualTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteAll(m_dir.File("tape.m2t"), Tape(kPacketsPerTwoSeconds));
        VirtualCamcorderSource::Settings settings;
        settings.tapePath = m_dir.File("tape.m2t");
        settings.speed = 0;
        settings.model = "HV20";
        m_source = std::make_shared<VirtualCamcorderSource>(settings);
        m_sources = std::make_unique<test::ScopedDeviceSources>(
            std::vector<std::shared_ptr<IDeviceSource>>{m_source});
        m_session.TimerSteps(0);
        ASSERT_TRUE(m_session.Present());
    }
    static std::vector<std::uint8_t> Tape(std::uint64_t packets) {
        std::vector<std::uint8_t> tape(packets * PKT_SIZE);
        for (std::uint64_t i = 0; i < packets; ++i) {
            tape[i * PKT_SIZE] = SYNC_BYTE;
            tape[i * PKT_SIZE + 1] = 0x1F;  // null packets: nothing for the capture pin to check
            tape[i * PKT_SIZE + 2] = 0xFF;
            tape[i * PKT_SIZE + 3] = 0x10;
        }
        return tape;
    }
    VirtualCamcorderFilter* Camcorder() const {
        return static_cast<VirtualCamcorderFilter*>(m_session.Camcorder());
    }

    test::TempDir m_dir;
    test::RecordingView m_view;
    CaptureSession m_session{&m_view, &m_view, &m_view};
    std::shared_ptr<VirtualCamcorderSource> m_source;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
};

TEST_F(CaptureSessionVirtualTest, ConnectsTheVirtualCamcorderAndCountsTheTimecode) {
    EXPECT_EQ(m_session.CamcorderName(), "Vornak HV20");
    ComPtr<IPin> peer;
    ASSERT_EQ(m_session.GetCapturePin()->ConnectedTo(peer.Receive()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(Camcorder()->GetOutputPin()));
    EXPECT_TRUE(m_session.VcrMode());
    EXPECT_EQ(m_session.TimecodeText(), "0:00:00:00");

    m_session.OnPlay();
    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(std::chrono::seconds(30)));
    EXPECT_EQ(Camcorder()->PacketsSent(), kPacketsPerTwoSeconds);
    EXPECT_EQ(m_session.TimecodeText(), "0:00:02:00");
    LONG mode = 0;
    ComPtr<IAMExtTransport> transport;
    ASSERT_EQ(Camcorder()->QueryInterface(IID_IAMExtTransport, transport.ReceiveVoid()), S_OK);
    ASSERT_EQ(transport->get_Mode(&mode), S_OK);
    EXPECT_EQ(mode, ED_MODE_STOP) << "play stops by itself at the end of the tape";

    m_session.OnRewind();
    EXPECT_EQ(transport->get_Mode(&mode), S_OK);
    EXPECT_TRUE(mode == ED_MODE_REW || mode == ED_MODE_STOP);
}

TEST_F(CaptureSessionVirtualTest, LossReleasesTheGraphAndTheCamcorderStaysAway) {
    Camcorder()->LoseDevice();
    ASSERT_EQ(m_view.Messages(), 1);
    m_session.OnGraphEvent();
    EXPECT_FALSE(m_session.Present());
    EXPECT_FALSE(m_session.GraphBuilt());
    EXPECT_EQ(m_view.updates > 0, true);
    m_session.TimerSteps(CaptureSession::kDetectEvery);
    EXPECT_FALSE(m_session.Present()) << "an unplugged camcorder is not found again";
    m_source->Replug();
    m_session.TimerSteps(2 * CaptureSession::kDetectEvery);
    EXPECT_TRUE(m_session.Present());
}

// Each run starts the camcorder's streaming thread and each stop ends it; nothing of either may
// stay behind (the sanitizer build reports leaks).
TEST(CaptureGraph, RunAndStoppedAThousandTimesLeaksNothing) {
    test::TempDir dir;
    test::WriteAll(dir.File("tape.m2t"), std::vector<std::uint8_t>(PKT_SIZE * 64, SYNC_BYTE));
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
        ComPtr<IFilterGraph> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFilterGraph, graph.ReceiveVoid()),
                  S_OK);
        ComPtr<IGraphBuilder> graphBuilder;
        ASSERT_EQ(graph->QueryInterface(IID_IGraphBuilder, graphBuilder.ReceiveVoid()), S_OK);
        ComPtr<ICaptureGraphBuilder2> builder;
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, builder.ReceiveVoid()),
                  S_OK);
        ASSERT_EQ(builder->SetFiltergraph(graphBuilder.Get()), S_OK);
        CMediaType streamType(MEDIATYPE_Stream);
        ComPtr<CaptureFilter> sink(new CaptureFilter(&streamType, 0));
        ComPtr<VirtualCamcorderFilter> camcorder(new VirtualCamcorderFilter());
        ASSERT_TRUE(camcorder->LoadTape(dir.File("tape.m2t")));
        ASSERT_TRUE(Succeeded(graph->AddFilter(sink.Get(), "")));
        ASSERT_TRUE(Succeeded(graph->AddFilter(static_cast<IBaseFilter*>(camcorder.Get()), "")));
        ASSERT_EQ(
            builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr,
                                  static_cast<IBaseFilter*>(camcorder.Get()), nullptr, sink.Get()),
            S_OK);
        ComPtr<IMediaControl> control;
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid()), S_OK);
        constexpr int kRounds = 1000;
        for (int round = 0; round < kRounds; ++round) {
            ASSERT_EQ(control->Run(), S_OK) << "round " << round;
            ASSERT_EQ(control->Stop(), S_OK) << "round " << round;
        }
        EXPECT_EQ(camcorder->State(), State_Stopped);
    }
    CoUninitialize();
}

// The worker ends a split run itself when the stream runs dry; the user may press stop at that
// very moment. Whichever gets there first ends the run, once.
TEST_F(CaptureSessionVirtualTest, AStopRacingTheWorkersOwnStopEndsTheRunOnce) {
    constexpr int kRuns = 25;
    m_session.GetCapturePin()->SetTakeChunksTimeout(std::chrono::milliseconds(2));
    CaptureOptions options;
    options.folder = m_dir.Path();
    options.fileName = "race";
    options.dateTimeNaming = false;
    options.syncAudio = false;
    for (int run = 0; run < kRuns; ++run) {
        m_session.OnRecord(options);
        ASSERT_TRUE(m_session.InCapture());
        // On a busy machine the worker's short wait may run out before the tape even starts,
        // which ends the run early; that is a race of its own and just as good.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (m_session.InCapture() &&
               !Camcorder()->WaitForEndOfTape(std::chrono::milliseconds(1))) {
            ASSERT_LT(std::chrono::steady_clock::now(), end);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (run % 30)));
        m_session.OnStop();
        EXPECT_FALSE(m_session.InCapture());
        // When the worker was already ending the run itself, the stop leaves the join to it:
        // it must still end, and soon (a slow machine or a sanitizer may take a moment).
        const auto joined = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        m_view.RunPosted();
        while (m_session.WorkerRunning() && std::chrono::steady_clock::now() < joined) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            m_view.RunPosted();
        }
        EXPECT_FALSE(m_session.WorkerRunning()) << "run " << run;
        m_session.OnRewind();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Camcorder()->Transport().Position() != 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(Camcorder()->Transport().Position(), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the wind has ended
    }
    const auto lines = m_view.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "End of capturing"), kRuns);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Capturing has been started"), kRuns);
}

}  // namespace
}  // namespace vornak
