// Capture runs with a worker thread against the virtual camcorder playing a tape of dated
// scenes, in both sync modes: shared by the session's tests on split runs, DV and losses.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CaptureSession.h"
#include "FakeCamcorder.h"
#include "RecordingView.h"
#include "SplitCommand.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace vornak::test {

// Runs with a worker thread, as the page starts them: the split job on the live queue, the
// worker's hand-back to the owner's thread, and the end of a run from either side.
class CaptureSessionRunTest : public ::testing::TestWithParam<bool> {
  protected:
    CaptureSessionRunTest() : m_tz("UTC0") {}

    // Three scenes of `gops` picture groups each (of 15 pictures, 0.6 s of tape, with dates
    // that run on through them).
    void Start(double speed, const std::vector<int>& gops = {5, 5, 5},
               std::vector<double> dvAtSeconds = {}) {
        tape::TapeOptions options;
        options.pictureBytes = 6000;
        tape::TapeWriter writer(options);
        const tape::DateTime starts[] = {At(9, 0, 59), At(9, 30, 59), At(12, 0, 59)};
        for (std::size_t i = 0; i < gops.size(); ++i) {
            tape::SceneSpec scene;
            scene.start = starts[i];
            scene.gops = gops[i];
            scene.closedFirstGop = m_bClosedFirstGops;
            writer.AddScene(scene);
        }
        ASSERT_TRUE(writer.WriteFile(m_dir.File("tape.m2t")));
        VirtualCamcorderSource::Settings settings;
        settings.tapePath = m_dir.File("tape.m2t");
        settings.speed = speed;
        settings.dvAtSeconds = std::move(dvAtSeconds);
        m_sources =
            std::make_unique<test::ScopedDeviceSources>(std::vector<std::shared_ptr<IDeviceSource>>{
                std::make_shared<VirtualCamcorderSource>(settings)});
        m_session.TimerSteps(0);
        ASSERT_TRUE(m_session.Present());
    }
    CaptureOptions SplitOptions(const std::string& folder) const {
        CaptureOptions options;
        options.folder = folder;
        options.fileName = "tape";
        options.dateTimeNaming = false;
        options.syncAudio = GetParam();
        return options;
    }
    VirtualCamcorderFilter* Camcorder() const {
        return static_cast<VirtualCamcorderFilter*>(m_session.Camcorder());
    }
    // What vornak-split makes of the tape, in the run's mode: the files a split run must match.
    void SplitTheTapeInto(const std::string& folder) const {
        std::filesystem::create_directory(folder);
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(RunSplitCommand({"--output-dir", folder, "--naming", "count", "--quiet",
                                   GetParam() ? "--sync" : "--no-sync", m_dir.File("tape.m2t")},
                                  out, err, false),
                  kExitOk)
            << err.str();
    }
    // The page's timer, ten times faster, until the run and its worker have ended.
    void TickUntilTheRunHasEnded() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (std::uint32_t tick = 1; (m_session.InCapture() || m_session.WorkerRunning()) &&
                                     std::chrono::steady_clock::now() < deadline;
             ++tick) {
            m_session.TimerSteps(tick);
            m_view.RunPosted();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_view.RunPosted();
    }
    long Count(const std::string& line) const {
        const auto lines = m_view.Lines();
        return std::count(lines.begin(), lines.end(), line);
    }

    // Each scene begins with a closed picture group, as a camcorder records them.
    bool m_bClosedFirstGops = false;
    test::ScopedTimeZone m_tz;
    test::TempDir m_dir;
    test::RecordingView m_view;
    CaptureSession m_session{&m_view, &m_view, &m_view};
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
};

}  // namespace vornak::test
