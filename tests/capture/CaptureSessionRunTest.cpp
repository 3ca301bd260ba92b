// Split runs of the capture session with a worker thread, in both sync modes: what they write
// against what vornak-split writes, their flushes, and their end from the worker or an error.
#include "CaptureSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CapturePin.h"
#include "CaptureSessionRunTest.h"
#include "RecordingDiskSync.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"

namespace vornak {
namespace {

using test::CaptureSessionRunTest;

// At twenty times the tape's rate the live split keeps up: nothing is dropped, and the scene
// files are those vornak-split writes.
TEST_P(CaptureSessionRunTest, ASplitRunAtTwentyTimesTheTapesRateWritesWhatVornakSplitWrites) {
    Start(20);
    const std::string expected = m_dir.File("expected");
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    ASSERT_NO_FATAL_FAILURE(SplitTheTapeInto(expected));

    m_session.OnRecord(SplitOptions(live));
    ASSERT_TRUE(m_session.InCapture());
    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(std::chrono::seconds(60)));
    // The owner's timer: the end of the tape is acted on from the third check on.
    for (std::uint32_t tick = 1; m_session.InCapture() && tick <= 4 * CaptureSession::kChecksEvery;
         ++tick) {
        m_session.TimerSteps(tick);
    }
    EXPECT_FALSE(m_session.InCapture());
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    EXPECT_FALSE(m_session.WorkerRunning());
    EXPECT_EQ(m_session.GetCapturePin()->Dropped(), 0u);
    EXPECT_EQ(m_view.dropped, "0");
    const auto names = test::ListFiles(expected);
    ASSERT_EQ(names.size(), 3u);
    ASSERT_EQ(test::ListFiles(live), names);
    for (const auto& name : names) {
        EXPECT_TRUE(test::ReadAll(live + "/" + name) == test::ReadAll(expected + "/" + name))
            << name;
    }
    EXPECT_EQ(m_session.SceneCounter(), 3);
}

// Every scene file is flushed to the disk as it closes and the folder once the job is done,
// before the run is said to have ended; the first file is named after its own first date (not
// a date some seconds in), as vornak-split names it.
TEST_P(CaptureSessionRunTest, ASplitRunFlushesItsFilesAndNamesTheFirstAfterItsFirstDate) {
    // The first scene's dates run on for 24 seconds; its closed first picture group decides
    // nothing, so its file is opened by a write, long after its first date.
    m_bClosedFirstGops = true;
    Start(20, {40, 5, 5});
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    test::RecordingDiskSync sync;
    std::vector<std::string> lastLineAtFlush;
    sync.onEvent = [&](const std::string&) { lastLineAtFlush.push_back(m_view.Lines().back()); };
    m_session.SetDiskSync(&sync);
    CaptureOptions options = SplitOptions(live);
    options.dateTimeNaming = true;
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());
    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(std::chrono::seconds(60)));
    for (std::uint32_t tick = 1; m_session.InCapture() && tick <= 4 * CaptureSession::kChecksEvery;
         ++tick) {
        m_session.TimerSteps(tick);
    }
    ASSERT_FALSE(m_session.InCapture());
    EXPECT_FALSE(m_session.WorkerRunning());
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    const std::vector<std::string> names{"tape-2006_05_01-09_00_59.m2t",
                                         "tape-2006_05_01-09_30_59.m2t",
                                         "tape-2006_05_01-12_00_59.m2t"};
    EXPECT_EQ(test::ListFiles(live), names);
    std::vector<std::string> expected;
    for (const std::string& name : names) {
        expected.push_back("file " + live + "/" + name);
    }
    expected.push_back("folder " + live);
    EXPECT_EQ(sync.Events(), expected);
    EXPECT_EQ(std::count(lastLineAtFlush.begin(), lastLineAtFlush.end(), "End of capturing"), 0);
    EXPECT_TRUE(m_view.boxes.empty() ||
                m_view.boxes == std::vector<std::string>{
                                    "End of capturing.\r\nCapturing has been interrupted or end "
                                    "of tape reached."});
}

// The worker ends the run itself; the controls are brought up to date and the worker reclaimed
// on the owner's thread, not on the worker's.
TEST_P(CaptureSessionRunTest, AStreamThatRunsDryEndsTheRunFromTheWorker) {
    Start(0);
    m_session.GetCapturePin()->SetTakeChunksTimeout(std::chrono::milliseconds(50));
    const int updates = m_view.updates;
    m_session.OnRecord(SplitOptions(m_dir.Path()));
    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(std::chrono::seconds(30)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (m_session.InCapture() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(m_session.InCapture());
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::StreamRanDry);
    EXPECT_EQ(m_view.updates, updates + 1) << "only the start's update ran on this thread";
    while (m_session.WorkerRunning() && std::chrono::steady_clock::now() < deadline) {
        m_view.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(m_session.WorkerRunning());
    EXPECT_EQ(m_view.updates, updates + 2);
    const auto lines = m_view.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "INFO: No more data is received from camcoder. Capture stopped.");
    EXPECT_EQ(lines.back(), "End of capturing");
}

// A scene file that cannot be made once the run goes (its folder moved away) ends the run with
// one error from the job and one from the run, not with "no more data".
TEST_P(CaptureSessionRunTest, ASceneFileThatCannotBeMadeEndsTheRunWithAnError) {
    Start(5);
    m_session.GetCapturePin()->SetTakeChunksTimeout(std::chrono::milliseconds(200));
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    m_session.OnRecord(SplitOptions(live));
    ASSERT_TRUE(m_session.InCapture());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto created = [&] {
        const auto lines = m_view.Lines();
        return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Creating new file: ") != std::string::npos;
        });
    };
    while (!created() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::filesystem::rename(live, m_dir.File("moved"));
    while ((m_session.InCapture() || m_session.WorkerRunning()) &&
           std::chrono::steady_clock::now() < deadline) {
        m_view.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_view.RunPosted();
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::WriteFailed);
    const std::string message =
        "ERROR: The scene files can't be created (the log says why): " + live + "/tape";
    EXPECT_EQ(m_view.boxes, std::vector<std::string>{message});
    const auto lines = m_view.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "ERROR: This file can't be created: " + live +
                             "/tape-0001.m2t (No such file or directory)"),
              1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), message), 1);
    EXPECT_EQ(std::find(lines.begin(), lines.end(),
                        "INFO: No more data is received from camcoder. Capture stopped."),
              lines.end());
    EXPECT_EQ(lines.back(), "End of capturing");
    EXPECT_EQ(test::ListFiles(m_dir.File("moved")), std::vector<std::string>{"tape-0000.m2t"});
}

INSTANTIATE_TEST_SUITE_P(PlainAndSync, CaptureSessionRunTest, ::testing::Bool());

}  // namespace
}  // namespace vornak
