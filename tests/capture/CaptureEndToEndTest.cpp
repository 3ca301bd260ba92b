// The capture side end to end: the virtual camcorder plays a synthetic tape into the capture
// filter. A file run writes a file equal to the tape; a live run feeds a live split job that
// writes the same scene files as vornak-split writes for the tape, with preview on or off.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "PreviewPin.h"
#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "SplitCommand.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderPin.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr auto kSafetyLimit = 120s;
// Data flows without pause until the tape ends, and the stop wakes the reader's last wait; a
// loaded machine may still pause the camcorder's thread for seconds, which must not end the run.
constexpr auto kLiveSilence = 20s;

class CaptureEndToEndTest : public ::testing::Test {
  protected:
    CaptureEndToEndTest() : m_tz("UTC0") {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
        m_camcorder = ComPtr<VirtualCamcorderFilter>(new VirtualCamcorderFilter());
        m_preview = ComPtr<test::SinkFilter>(new test::SinkFilter());
    }
    ~CaptureEndToEndTest() override {
        m_camcorder->Stop();
        m_filter->Stop();
        m_preview->Stop();
        m_camcorder->GetOutputPin()->Disconnect();
        m_filter->GetCapturePin()->Disconnect();
        m_filter->GetPreviewPin()->Disconnect();
        m_preview->Pin()->Disconnect();
    }

    // Three scenes of small pictures, `broken` pictures with 67 slices.
    void MakeTape(std::vector<long> broken = {}) {
        m_tapePath = m_dir.File("tape.m2t");
        ASSERT_TRUE(test::WriteThreeSceneTape(m_tapePath, std::move(broken)));
    }
    void BuildGraph(bool preview) {
        ASSERT_TRUE(m_camcorder->LoadTape(m_tapePath));
        m_camcorder->SetSpeed(0);
        m_camcorder->SetPacketsPerSample(200);
        ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_filter->GetCapturePin(), nullptr), S_OK);
        if (preview) {
            ASSERT_EQ(m_filter->GetPreviewPin()->Connect(m_preview->Pin(), nullptr), S_OK);
            ASSERT_EQ(m_preview->Run(0), S_OK);
        }
        ASSERT_EQ(m_filter->Run(0), S_OK);
        ASSERT_EQ(m_camcorder->Run(0), S_OK);
    }
    // What vornak-split makes of the tape, in `dir`.
    void SplitWithTheCommand(const std::string& dir) {
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(RunSplitCommand({"--output-dir", dir, "--quiet", m_tapePath}, out, err, false),
                  kExitOk)
            << err.str();
    }
    void ExpectSameFiles(const std::string& expectedDir, const std::string& actualDir) {
        const auto names = test::ListFiles(expectedDir);
        ASSERT_EQ(names.size(), 3u);
        ASSERT_EQ(test::ListFiles(actualDir), names);
        for (const auto& name : names) {
            EXPECT_EQ(test::ReadAll(actualDir + "/" + name),
                      test::ReadAll(expectedDir + "/" + name))
                << name;
        }
    }
    CapturePin* Capture() const { return m_filter->GetCapturePin(); }

    test::ScopedTimeZone m_tz;
    test::TempDir m_dir;
    std::string m_tapePath;
    AM_MEDIA_TYPE m_types[1];
    ComPtr<test::SinkFilter> m_preview;
    ComPtr<CaptureFilter> m_filter;
    ComPtr<VirtualCamcorderFilter> m_camcorder;
};

TEST_F(CaptureEndToEndTest, FileRunWritesTheTape) {
    MakeTape();
    BuildGraph(false);
    const std::string path = m_dir.File("capture.m2t");
    Capture()->StartCapture(CaptureFileWriter::CreateNew(path));
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    Capture()->StopCapture();
    EXPECT_EQ(test::ReadAll(path), test::ReadAll(m_tapePath));
    EXPECT_EQ(Capture()->Dropped(), 0u);
    EXPECT_FALSE(Capture()->WriteFailed());
}

TEST_F(CaptureEndToEndTest, FileRunCountsTheTapesBrokenPictures) {
    MakeTape({5, 40, 41});
    BuildGraph(true);
    const std::string path = m_dir.File("capture.m2t");
    Capture()->StartCapture(CaptureFileWriter::CreateNew(path));
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    Capture()->StopCapture();
    EXPECT_EQ(test::ReadAll(path), test::ReadAll(m_tapePath));
    EXPECT_EQ(Capture()->Dropped(), 3u);
}

class CaptureEndToEndLiveTest : public CaptureEndToEndTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(CaptureEndToEndLiveTest, LiveRunSplitsLikeTheSplitCommand) {
    const bool preview = GetParam();
    MakeTape();
    BuildGraph(preview);
    const std::string expectedDir = m_dir.File("split");
    const std::string liveDir = m_dir.File("live");
    std::filesystem::create_directory(expectedDir);
    std::filesystem::create_directory(liveDir);
    SplitWithTheCommand(expectedDir);

    Capture()->SetTakeChunksTimeout(kLiveSilence);
    Capture()->StartCapture(nullptr);
    const SceneJobNames names = MakeSceneJobNames(m_tapePath, liveDir, std::nullopt);
    test::CapturingLog log;
    std::thread worker([&] {
        SceneSplitter job(Capture(), {.baseName = names.baseName, .extension = "m2t"});
        job.SetLog(&log);
        job.Run();
        Capture()->EndLiveRun();
    });
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    if (preview) {
        // The preview is handed its samples on a thread of its own, which a loaded machine may
        // not have run yet when the tape ends.
        const auto limit = std::chrono::steady_clock::now() + kSafetyLimit;
        while (m_preview->Pin()->Arrivals() == 0 && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(10ms);
        }
    }
    Capture()->StopCapture();
    worker.join();

    EXPECT_EQ(Capture()->Dropped(), 0u);  // the reader kept up: no chunk discarded
    EXPECT_FALSE(Capture()->IsCapturing());
    ExpectSameFiles(expectedDir, liveDir);
    EXPECT_EQ(log.Dropped(), 0);
    if (preview) {
        EXPECT_GT(m_preview->Pin()->Arrivals(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(PreviewOffAndOn, CaptureEndToEndLiveTest, ::testing::Bool());

}  // namespace
}  // namespace vornak
