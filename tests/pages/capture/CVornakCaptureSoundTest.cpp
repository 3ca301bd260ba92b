// The capturing page's preview heard through a real sound server: a PulseAudio server of the
// test's own with a null sink, whose monitor is recorded while the virtual camcorder plays a
// tape of one tone per scene. Skipped, saying why, where no server can start.
#include <QAudioDevice>
#include <QCheckBox>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "CVideoRenderer.h"
#include "CVornakCapture.h"
#include "CapturePageProbe.h"
#include "DatePackInserter.h"
#include "FakeCamcorder.h"
#include "PreviewDecoders.h"
#include "PreviewRenderers.h"
#include "PrivateSoundServer.h"
#include "ProcessEventsUntil.h"
#include "RecordingMessages.h"
#include "TestSupport.h"
#include "ToneAnalysis.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = test::PrivateSoundServer::kRate;
constexpr int kSceneSeconds = 2;
constexpr int kTones[] = {440, 660, 880};
constexpr double kToneToleranceHz = 3;
// One MPEG-1 Layer II frame: the longest silence the preview may leave while the tape plays.
constexpr std::size_t kAudioFrameSamples = 1152;
constexpr double kStartToleranceMs = 100;
constexpr std::uint64_t kPicturesIntoScene1 = 25;
constexpr std::uint64_t kPicturesIntoScene2 = 25 * kSceneSeconds + 10;
// ffmpeg's sine source is an eighth of full scale (4096), spread over two channels 3 dB down.
constexpr int kToneAmplitude = 2896;
// The output's buffers drain after the tape ends.
constexpr auto kDrain = 600ms;
constexpr char kSoundWentAway[] =
    "WARNING: The sound output went away: the preview goes on without sound.";

bool FfmpegAvailable() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// One clip of HDV-like MPEG-2 video with a tone, as the demo encodes its clips, but with one
// sound frame to a packet, as evenly as a camcorder multiplexes its sound (ffmpeg's default
// of two lets the sound fall up to 70 ms behind). The clips' clocks run on from one to the
// next, as they would on a tape recorded in one go.
bool MakeClip(const std::string& path, int toneHz, int startSecond) {
    static constexpr char kEncoding[] =
        " -c:v mpeg2video -b:v 25M -minrate 25M -maxrate 25M -bufsize 9781248 -g 12 -bf 2"
        " -flags +cgop -sc_threshold 1000000000 -c:a mp2 -b:a 384k -ac 2 -pes_payload_size 0"
        " -mpegts_pmt_start_pid 0x100 -streamid 0:0x810 -streamid 1:0x814";
    const std::string command =
        "ffmpeg -loglevel error -nostdin -f lavfi -i testsrc=size=1440x1080:rate=25 -f lavfi -i "
        "sine=frequency=" +
        std::to_string(toneHz) + ":sample_rate=48000 -t " + std::to_string(kSceneSeconds) +
        kEncoding + " -output_ts_offset " + std::to_string(startSecond) + " -f mpegts '" + path +
        "'";
    return std::system(command.c_str()) == 0;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class CVornakCaptureSound : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed: no tape with tones to play";
        }
        std::vector<std::uint8_t> tape;
        for (std::size_t i = 0; i < std::size(kTones); ++i) {
            const std::string clip = m_dir.File("clip" + std::to_string(i) + ".ts");
            const std::string dated = m_dir.File("dated" + std::to_string(i) + ".m2t");
            ASSERT_TRUE(MakeClip(clip, kTones[i], static_cast<int>(i) * kSceneSeconds));
            // An hour apart: each clip is a scene of its own.
            tape::DateInsertOptions dates;
            dates.start.year = 2008;
            dates.start.hour = 10 + static_cast<int>(i);
            tape::DatePackInserter inserter(dates);
            ASSERT_TRUE(inserter.InsertFile(clip, dated)) << inserter.Error();
            const std::vector<std::uint8_t> bytes = test::ReadAll(dated);
            tape.insert(tape.end(), bytes.begin(), bytes.end());
        }
        test::WriteAll(m_dir.File("tape.m2t"), tape);

        // Qt's sound backend holds on to the first server it finds for the life of the
        // process; ctest runs each test in a process of its own.
        static bool serverUsed = false;
        if (serverUsed) {
            GTEST_SKIP() << "a sound server was used by an earlier test of this process: run "
                            "each test on its own (--gtest_filter, or ctest)";
        }
        serverUsed = true;
        m_server = std::make_unique<test::PrivateSoundServer>(m_dir.File("pulse"));
        if (!m_server->Start()) {
            GTEST_SKIP() << "no sound server could start, the preview's sound goes unheard: "
                         << m_server->Error();
        }
        ASSERT_TRUE(
            test::ProcessEventsUntil([] { return !QMediaDevices::defaultAudioOutput().isNull(); }));
        ASSERT_TRUE(m_server->StartRecording(m_dir.File("heard.raw")));
        RegisterPreviewDecoders();
        RegisterPreviewRenderers();
    }
    void TearDown() override {
        m_page.reset();
        m_server.reset();
    }

    void OpenPage(SettingsMap extra = {}) {
        VirtualCamcorderSource::Settings settings;
        settings.tapePath = m_dir.File("tape.m2t");
        settings.speed = 1;
        m_sources =
            std::make_unique<test::ScopedDeviceSources>(std::vector<std::shared_ptr<IDeviceSource>>{
                std::make_shared<VirtualCamcorderSource>(settings)});
        m_settings = {{"capture_preview", "1"},
                      {"capture_scene_split", "0"},
                      {"capture_file_name", "capture"},
                      {"capture_output_dir", m_dir.Path()}};
        m_settings.insert(extra.begin(), extra.end());
        m_page = std::make_unique<CVornakCapture>();
        m_page->SetSettings(&m_settings);
        m_page->LoadPageSettings();
        m_page->OnSetActive();
        m_page->OnTimer();
        ASSERT_TRUE(m_page->CamcorderPresent());
        ASSERT_TRUE(m_page->Session().PreviewOk());
    }
    // Runs the page, its timer ticks included, until `done`.
    bool RunUntil(const std::function<bool()>& done) {
        auto next = std::chrono::steady_clock::now();
        return test::ProcessEventsUntil([&] {
            if (std::chrono::steady_clock::now() >= next) {
                m_page->OnTimer();
                next += std::chrono::milliseconds(CVornakCapture::kTimerPeriodMs);
            }
            return done();
        });
    }
    bool EndOfTape() { return Camcorder()->WaitForEndOfTape(0ms); }
    void Drain() {
        const auto until = std::chrono::steady_clock::now() + kDrain;
        RunUntil([&] { return std::chrono::steady_clock::now() >= until; });
    }
    std::string Log() const { return test::PageLog(*m_page); }
    CVideoRenderer* Renderer() const { return test::PageRenderer(*m_page); }
    VirtualCamcorderFilter* Camcorder() const { return test::PageCamcorder(*m_page); }

    test::TempDir m_dir;
    test::RecordingMessages m_messages;
    std::unique_ptr<test::PrivateSoundServer> m_server;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
    SettingsMap m_settings;
    std::unique_ptr<CVornakCapture> m_page;
};

TEST_F(CVornakCaptureSound, EachScenesToneIsHeardInTurnWithoutGapsAndWithThePicture) {
    OpenPage();
    m_page->OnPlay();
    ASSERT_TRUE(RunUntil([&] { return EndOfTape(); }));
    Drain();
    m_server->StopRecording();

    const test::HeardSound heard =
        test::AnalyseTones(m_server->Samples(), kRate, static_cast<std::size_t>(kRate) / 2);
    ASSERT_TRUE(heard.any) << "nothing was heard";
    std::cout << "[ measured ] tones (Hz):";
    for (const test::HeardTone& tone : heard.tones) {
        std::cout << " " << tone.hz << " (" << static_cast<double>(tone.frames) / kRate << " s)";
    }
    std::cout << "\n";
    ASSERT_EQ(heard.tones.size(), std::size(kTones));
    for (std::size_t i = 0; i < std::size(kTones); ++i) {
        EXPECT_NEAR(heard.tones[i].hz, kTones[i], kToneToleranceHz) << "scene " << i + 1;
    }
    std::cout << "[ measured ] longest gap: " << heard.longestGap << " samples\n";
    EXPECT_LE(heard.longestGap, kAudioFrameSamples);

    const auto firstPicture = Renderer()->FirstDrawnAt();
    ASSERT_TRUE(firstPicture.has_value());
    const auto firstSound =
        m_server->RecordingStart() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(heard.firstFrame) / kRate));
    const double offsetMs = Ms(firstSound - *firstPicture);
    std::cout << "[ measured ] first sound after first picture: " << offsetMs << " ms\n";
    EXPECT_LE(std::fabs(offsetMs), kStartToleranceMs);
}

TEST_F(CVornakCaptureSound, WhenTheServerGoesAwayThePreviewGoesOnSilentAndSaysSoOnce) {
    OpenPage();
    m_page->OnRecord();
    ASSERT_TRUE(m_page->Session().InCapture());
    // Into the second scene: the first was heard.
    ASSERT_TRUE(RunUntil([&] { return Renderer()->GetCounts().received >= kPicturesIntoScene2; }));
    m_server->StopServer();
    const auto shownAtLoss = Renderer()->GetCounts().received;
    ASSERT_TRUE(RunUntil([&] { return EndOfTape(); }));
    Drain();
    EXPECT_GT(Renderer()->GetCounts().received, shownAtLoss + 10) << "pictures keep coming";
    m_page->OnStop();
    EXPECT_FALSE(m_page->Session().InCapture());

    const std::string log = Log();
    std::size_t said = 0;
    for (std::size_t at = log.find(kSoundWentAway); at != std::string::npos;
         at = log.find(kSoundWentAway, at + 1)) {
        ++said;
    }
    EXPECT_EQ(said, 1u) << log;
    EXPECT_TRUE(test::ReadAll(m_dir.File("capture.m2t")) == test::ReadAll(m_dir.File("tape.m2t")))
        << "the capture is never touched";
}

// The page's volume reaches the sound output: half the volume, half the tone's height; muted,
// nothing.
TEST_F(CVornakCaptureSound, TheVolumeAndTheMuteButtonReachTheSoundOutput) {
    OpenPage({{"capture_preview_volume", "50"}});
    m_page->OnPlay();
    ASSERT_TRUE(RunUntil([&] { return Renderer()->GetCounts().received >= kPicturesIntoScene1; }));
    const std::size_t muteAt = m_server->Samples().size() / 2;
    qobject_cast<QToolButton*>(m_page->control(CVornakCapture::kIdPreviewMute))->click();
    ASSERT_TRUE(RunUntil([&] { return EndOfTape(); }));
    Drain();
    m_server->StopRecording();

    const std::vector<std::int16_t> samples = m_server->Samples();
    const test::HeardSound heard = test::AnalyseTones(samples, kRate, kRate / 2);
    ASSERT_TRUE(heard.any);
    ASSERT_LT(heard.firstFrame, muteAt);
    int peak = 0;
    for (std::size_t i = heard.firstFrame; i < muteAt; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[2 * i])));
    }
    std::cout << "[ measured ] peak at half volume: " << peak << " of " << kToneAmplitude << "\n";
    EXPECT_NEAR(peak, kToneAmplitude / 2, kToneAmplitude / 10);
    // Whatever was queued plays out within the output's buffers; after that, silence.
    EXPECT_LT(heard.lastFrame, muteAt + static_cast<std::size_t>(kRate) / 2);
}

}  // namespace
}  // namespace vornak
