// What the capture session loses and says so: the camcorder's own drops and messages, and a
// camcorder that goes, during a file run and while a split job still has scenes to write.
#include "CaptureSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "CapturePin.h"
#include "CaptureSessionRunTest.h"
#include "CaptureSessionTest.h"
#include "FakeCamcorder.h"
#include "RecordingDiskSync.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

using test::Camcorder;
using test::CaptureSessionRunTest;
using test::CaptureSessionTest;
using test::FakeCamcorder;
using test::FakeCamcorderFaces;

TEST_F(CaptureSessionTest, TheCamcordersOwnDropsAndMessagesReachTheCountAndTheLog) {
    FakeCamcorderFaces faces;
    faces.report = true;
    Detect({Camcorder("Sony", "HDR-FX1", faces)});
    FakeCamcorder* camcorder = Bound();
    camcorder->droppedPackets = 7;  // before the run: not this run's
    test::TempDir dir;
    CaptureOptions options;
    options.folder = dir.Path();
    options.fileName = "drops";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());
    m_session.CheckDroppedPackets();
    EXPECT_EQ(m_view.dropped, "0");
    camcorder->droppedPackets = 12;
    m_session.CheckDroppedPackets();
    EXPECT_EQ(m_view.dropped, "5");
    EXPECT_EQ(m_view.Lines().back(), "WARNING: Some packets has been lost.");

    camcorder->Say("ERROR: from the camcorder");
    m_view.RunPosted();
    EXPECT_EQ(m_view.Lines().back(), "ERROR: from the camcorder");
    m_session.OnStop();
    m_session.ReleaseGraph();
    const std::size_t lines = m_view.Lines().size();
    camcorder->Say("ERROR: after the graph went");  // nobody listens any more
    m_view.RunPosted();
    EXPECT_EQ(m_view.Lines().size(), lines);
}

TEST_F(CaptureSessionTest, ALostCamcorderEndsTheRunReleasesTheGraphAndIsLookedForAgain) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    test::TempDir dir;
    CaptureOptions options;
    options.folder = dir.Path();
    options.fileName = "tape";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());

    // Other events are passed over; the loss is acted on once the window message arrives.
    EXPECT_EQ(camcorder->NotifyEvent(EC_COMPLETE, 0, 0), S_OK);
    EXPECT_EQ(camcorder->NotifyEvent(EC_DEVICE_LOST, 0, 0), S_OK);
    EXPECT_EQ(m_view.Messages(), 2);
    m_source->SetDevices({});
    const int updates = m_view.updates;
    m_session.OnGraphEvent();

    EXPECT_FALSE(m_session.InCapture());
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::DeviceLost);
    EXPECT_FALSE(m_session.Present());
    EXPECT_FALSE(m_session.GraphBuilt());
    EXPECT_EQ(m_session.GetCapturePin(), nullptr);
    // Said in the log and in a box, as the run's other failures are.
    const std::string lost = "ERROR: The camcorder was disconnected during capturing.";
    const auto lines = m_view.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], lost);
    EXPECT_EQ(lines.back(), "End of capturing");
    EXPECT_EQ(m_view.boxes, std::vector<std::string>{lost});
    EXPECT_EQ(camcorder->SentModes().back(), ED_MODE_STOP);
    EXPECT_GT(m_view.updates, updates);
    EXPECT_EQ(m_session.TimecodeText(), "-:--:--:--");
    m_session.OnGraphEvent();  // nothing left to handle

    m_source->SetDevices({Camcorder("Sony", "HDR-FX1")});
    m_session.TimerSteps(0);
    EXPECT_TRUE(m_session.Present());
}

// The camcorder goes while the split job still has scenes to write from what it sent before:
// the log tells of the loss after the files made of them, as the last word before the run's
// end.
TEST_P(CaptureSessionRunTest, ALostCamcorderIsLoggedAfterTheScenesItSentBeforeItWent) {
    Start(0);
    m_session.GetCapturePin()->SetTakeChunksTimeout(200ms);
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    // The job is held as it closes its first scene, until the run has been told to end.
    test::RecordingDiskSync sync;
    std::promise<void> held;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> first{true};
    sync.onEvent = [&](const std::string& event) {
        if (event.starts_with("file ") && first.exchange(false)) {
            held.set_value();
            released.wait();
        }
    };
    m_session.SetDiskSync(&sync);
    m_session.OnRecord(SplitOptions(live));
    ASSERT_TRUE(m_session.InCapture());
    ASSERT_EQ(held.get_future().wait_for(30s), std::future_status::ready);
    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(std::chrono::seconds(30)));
    Camcorder()->LoseDevice();
    std::thread releaser([&] {
        while (m_session.InCapture()) {
            std::this_thread::sleep_for(1ms);
        }
        release.set_value();
    });
    m_session.OnGraphEvent();
    releaser.join();
    m_view.RunPosted();

    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::DeviceLost);
    const std::string lost = "ERROR: The camcorder was disconnected during capturing.";
    EXPECT_EQ(m_view.Lines(), (std::vector<std::string>{
                                  "Capturing has been started",
                                  "Creating new file: " + live + "/tape-0000.m2t",
                                  "Scene change detected.",
                                  "Creating new file: " + live + "/tape-0001.m2t",
                                  "Scene change detected.",
                                  "Creating new file: " + live + "/tape-0002.m2t",
                                  lost,
                                  "End of capturing",
                              }));
    EXPECT_EQ(m_view.boxes, std::vector<std::string>{lost});
    EXPECT_EQ(test::ListFiles(live).size(), 3u);
}

}  // namespace
}  // namespace vornak
