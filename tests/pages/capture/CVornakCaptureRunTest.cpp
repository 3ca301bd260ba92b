// Capture runs from the "Capturing" page with the virtual camcorder: a file run writes what the
// tape played and never overwrites; a split run writes what vornak-split writes; the run ends
// at the end of the tape, when the stream runs dry, on dropped pictures and on a full disk.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CVornakCapture.h"
#include "CapturePin.h"
#include "DeviceControl.h"
#include "FakeCamcorder.h"
#include "ProcessEventsUntil.h"
#include "RecordingMessages.h"
#include "SplitCommand.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr auto kSafetyLimit = 60s;

struct RunSetup {
    bool sceneSplit = false;
    bool sync = false;
    bool cameraMode = false;
    std::vector<long> brokenPictures;
};

RunSetup SplitRun(bool sync = false) {
    RunSetup setup;
    setup.sceneSplit = true;
    setup.sync = sync;
    return setup;
}

RunSetup CameraMode() {
    RunSetup setup;
    setup.cameraMode = true;
    return setup;
}

RunSetup BrokenPictures(std::vector<long> pictures) {
    RunSetup setup;
    setup.brokenPictures = std::move(pictures);
    return setup;
}

class CVornakCaptureRun : public ::testing::Test {
  protected:
    CVornakCaptureRun() : m_tz("UTC0") {}
    ~CVornakCaptureRun() override { m_page.reset(); }

    void Start(const RunSetup& setup) {
        m_tapePath = m_dir.File("tape.m2t");
        ASSERT_TRUE(test::WriteThreeSceneTape(m_tapePath, setup.brokenPictures));
        m_out = m_dir.File("out");
        std::filesystem::create_directory(m_out);

        VirtualCamcorderSource::Settings settings;
        settings.tapePath = m_tapePath;
        settings.speed = 0;
        settings.cameraMode = setup.cameraMode;
        m_sources =
            std::make_unique<test::ScopedDeviceSources>(std::vector<std::shared_ptr<IDeviceSource>>{
                std::make_shared<VirtualCamcorderSource>(settings)});
        m_settings = {{"capture_file_name", "tape"},
                      {"capture_output_dir", m_out},
                      {"capture_scene_split", setup.sceneSplit ? "1" : "0"},
                      {"capture_sync_audio", setup.sync ? "1" : "0"},
                      {"capture_add_timestamp", "0"}};
        m_page = std::make_unique<CVornakCapture>();
        m_page->SetSettings(&m_settings);
        m_page->LoadPageSettings();
        m_page->OnSetActive();
        Tick();
        ASSERT_TRUE(m_page->CamcorderPresent());
    }
    void Tick() {
        m_page->OnTimer();
        ++m_nTicks;
    }
    void TickUntil(std::uint32_t tick) {
        while (m_nTicks <= tick) {
            Tick();
        }
    }
    void Click(int id) { qobject_cast<QAbstractButton*>(m_page->control(id))->click(); }
    void SetText(int id, const QString& text) {
        qobject_cast<QLineEdit*>(m_page->control(id))->setText(text);
    }
    VirtualCamcorderFilter* Camcorder() const {
        return static_cast<VirtualCamcorderFilter*>(m_page->Session().Camcorder());
    }
    void PlayToTheEnd() { ASSERT_TRUE(Camcorder()->WaitForEndOfTape(kSafetyLimit)); }
    // The log box's lines.
    std::vector<std::string> LogLines() {
        m_page->FlushLog();
        const QString text =
            qobject_cast<QPlainTextEdit*>(m_page->control(CPageWithLog::kIdLogBox))->toPlainText();
        std::vector<std::string> lines;
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            lines.push_back(line.toStdString());
        }
        return lines;
    }
    bool Logged(const std::string& line) {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& box : m_messages.boxes) {
            out.push_back(box.text.toStdString());
        }
        return out;
    }
    // Winds the tape back to its start.
    void Rewind() {
        m_page->OnRewind();
        ASSERT_TRUE(test::ProcessEventsUntil(
            [&] { return m_page->Session().TimecodeText() == "0:00:00:00"; }));
        ASSERT_TRUE(
            test::ProcessEventsUntil([&] { return Camcorder()->Transport().Position() == 0; }));
    }

    test::ScopedTimeZone m_tz;
    test::TempDir m_dir;
    test::RecordingMessages m_messages;
    std::string m_tapePath;
    std::string m_out;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
    SettingsMap m_settings;
    std::unique_ptr<CVornakCapture> m_page;
    std::uint32_t m_nTicks = 0;
};

TEST_F(CVornakCaptureRun, FileRunWritesThePlayedTapeAndNeverOverwritesIt) {
    Start({});
    Click(CVornakCapture::kIdRecord);
    ASSERT_TRUE(m_page->Session().InCapture());
    const std::string path = m_out + "/tape.m2t";
    EXPECT_TRUE(Logged("Creating file: " + path));
    EXPECT_TRUE(Logged("Capturing has been started"));
    EXPECT_FALSE(m_page->control(CVornakCapture::kIdRecord)->isEnabled());
    EXPECT_FALSE(m_page->control(CVornakCapture::kIdFileName)->isEnabled());
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    EXPECT_FALSE(m_page->Session().InCapture());
    EXPECT_EQ(LogLines().back(), "End of capturing");
    EXPECT_TRUE(test::ReadAll(path) == test::ReadAll(m_tapePath));
    EXPECT_TRUE(m_page->control(CVornakCapture::kIdRecord)->isEnabled());

    test::WriteAll(path, {1, 2, 3});
    Click(CVornakCapture::kIdRecord);
    EXPECT_FALSE(m_page->Session().InCapture());
    const std::string exists = "ERROR: Can't start capturing. File " + path + " already exists.";
    EXPECT_EQ(Boxes(), std::vector<std::string>{exists});
    EXPECT_EQ(m_messages.boxes[0].kind, test::RecordingMessages::Kind::kError);
    EXPECT_EQ(LogLines().back(), exists);
    EXPECT_EQ(test::ReadAll(path), (std::vector<std::uint8_t>{1, 2, 3}));
}

// Ticked, "Write a health report" has the run write NAME-report.json: a file run reads its file
// back after the run, and the log says where the report went and what it found.
TEST_F(CVornakCaptureRun, TheHealthReportBoxHasTheRunWriteAReport) {
    Start({});
    EXPECT_FALSE(qobject_cast<QAbstractButton*>(m_page->control(CVornakCapture::kIdHealthReport))
                     ->isChecked());
    Click(CVornakCapture::kIdHealthReport);
    Click(CVornakCapture::kIdRecord);
    ASSERT_TRUE(m_page->Session().InCapture());
    EXPECT_FALSE(m_page->control(CVornakCapture::kIdHealthReport)->isEnabled());
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    const std::string report = m_out + "/tape-report.json";
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !m_page->Session().WorkerRunning(); }));
    EXPECT_TRUE(Logged("Reading the capture files back for the health report"));
    EXPECT_TRUE(Logged("Health report: " + report));
    EXPECT_EQ(test::ListFiles(m_out), (std::vector<std::string>{"tape-report.json", "tape.m2t"}));
    EXPECT_NE(test::ReadText(report).find("\"path\": \"" + m_out + "/tape.m2t\""),
              std::string::npos);

    m_page->SavePageSettings();
    EXPECT_EQ(m_settings["capture_health_report"], "1");
}

TEST_F(CVornakCaptureRun, ANameIsUsedAsTypedAndTheExtensionAlwaysAdded) {
    Start({});
    SetText(CVornakCapture::kIdFileName, QStringLiteral("tape.m2t"));
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    EXPECT_EQ(test::ListFiles(m_out), std::vector<std::string>{"tape.m2t.m2t"});
}

TEST_F(CVornakCaptureRun, AFileInTheWayIsNeverTruncatedEvenWhenItCannotBeRead) {
    Start({});
    // A link to nowhere cannot be opened for reading, yet creating through it would make a file.
    const std::string target = m_dir.File("elsewhere.m2t");
    std::filesystem::create_symlink(target, m_out + "/tape.m2t");
    Click(CVornakCapture::kIdRecord);
    EXPECT_FALSE(m_page->Session().InCapture());
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].find("already exists"), std::string::npos) << Boxes()[0];

    // A file without read permission (which does not stop root from reading it).
    std::filesystem::remove(m_out + "/tape.m2t");
    SetText(CVornakCapture::kIdFileName, QStringLiteral("locked"));
    const std::string locked = m_out + "/locked.m2t";
    test::WriteAll(locked, {7, 7, 7});
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    Click(CVornakCapture::kIdRecord);
    EXPECT_FALSE(m_page->Session().InCapture());
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    EXPECT_EQ(test::ReadAll(locked), (std::vector<std::uint8_t>{7, 7, 7}));
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1], "ERROR: Can't start capturing. File " + locked + " already exists.");
}

TEST_F(CVornakCaptureRun, NameAndFolderAreCheckedBeforeAnythingStarts) {
    Start({});
    SetText(CVornakCapture::kIdFileName, QString());
    Click(CVornakCapture::kIdRecord);
    SetText(CVornakCapture::kIdFileName, QStringLiteral("tape"));
    SetText(CVornakCapture::kIdOutputDir, QString());
    Click(CVornakCapture::kIdRecord);
    SetText(CVornakCapture::kIdOutputDir, QString::fromStdString(m_dir.File("missing")));
    Click(CVornakCapture::kIdRecord);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{
                  "ERROR: Can't start capturing. The file name has not been choosen",
                  "ERROR: Can't start capturing. The directory for capturing files has not been "
                  "choosen.",
                  "ERROR: This folder can't take new files: " + m_dir.File("missing") +
                      " (No such file or directory)"}));
    EXPECT_FALSE(m_page->Session().InCapture());
    EXPECT_EQ(Camcorder()->PacketsSent(), 0u) << "the tape never played";
}

class CVornakCaptureSplitRun : public CVornakCaptureRun,
                               public ::testing::WithParamInterface<bool> {};

TEST_P(CVornakCaptureSplitRun, WritesTheScenesVornakSplitWrites) {
    const bool sync = GetParam();
    Start(SplitRun(sync));
    const std::string expected = m_dir.File("expected");
    std::filesystem::create_directory(expected);
    std::vector<std::string> args{"--output-dir", expected, "--naming", "count", "--quiet"};
    args.push_back(sync ? "--sync" : "--no-sync");
    args.push_back(m_tapePath);
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunSplitCommand(args, out, err, false), kExitOk) << err.str();

    Click(CVornakCapture::kIdRecord);
    ASSERT_TRUE(m_page->Session().InCapture());
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    EXPECT_FALSE(m_page->Session().WorkerRunning());
    EXPECT_EQ(LogLines().back(), "End of capturing");

    const auto names = test::ListFiles(expected);
    ASSERT_EQ(names, (std::vector<std::string>{"tape-0000.m2t", "tape-0001.m2t", "tape-0002.m2t"}));
    ASSERT_EQ(test::ListFiles(m_out), names);
    for (const auto& name : names) {
        EXPECT_TRUE(test::ReadAll(m_out + "/" + name) == test::ReadAll(expected + "/" + name))
            << name;
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndSync, CVornakCaptureSplitRun, ::testing::Bool());

TEST_F(CVornakCaptureRun, ASecondSplitRunGoesOnNumberingAndANewNameStartsAgain) {
    Start(SplitRun());
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    Rewind();
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    Rewind();
    SetText(CVornakCapture::kIdFileName, QStringLiteral("other"));
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    Click(CVornakCapture::kIdStop);
    EXPECT_EQ(test::ListFiles(m_out),
              (std::vector<std::string>{"other-0000.m2t", "other-0001.m2t", "other-0002.m2t",
                                        "tape-0000.m2t", "tape-0001.m2t", "tape-0002.m2t",
                                        "tape-0003.m2t", "tape-0004.m2t", "tape-0005.m2t"}));
}

TEST_F(CVornakCaptureRun, TheEndOfTheTapeEndsTheRunFromTheThirdCheckOn) {
    Start({});
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    // Checks run on every fourth tick: ticks 4 and 8 are the first two of the run.
    TickUntil(11);
    EXPECT_TRUE(m_page->Session().InCapture());
    EXPECT_TRUE(Boxes().empty());
    TickUntil(12);
    EXPECT_FALSE(m_page->Session().InCapture());
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "End of capturing");
    EXPECT_EQ(lines.back(), "Capturing has been interrupted or end of tape reached.");
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "End of capturing.\r\nCapturing has been interrupted or end of tape "
                           "reached."});
    // Not a failure: the box carries the information icon.
    EXPECT_EQ(m_messages.boxes[0].kind, test::RecordingMessages::Kind::kInformation);
    EXPECT_TRUE(test::ReadAll(m_out + "/tape.m2t") == test::ReadAll(m_tapePath));
}

TEST_F(CVornakCaptureRun, InCameraModeNothingStopsTheRunButTheUser) {
    Start(CameraMode());
    EXPECT_FALSE(m_page->control(CVornakCapture::kIdPlay)->isEnabled());
    // A camcorder in camera mode streams all the time: wait for samples sent after the start.
    // Counted from after the click: on a loaded machine the camcorder may send several samples
    // between a count taken before it and the run's start, and none of those are the run's.
    Click(CVornakCapture::kIdRecord);
    const auto before = Camcorder()->PacketsSent();
    ASSERT_TRUE(test::ProcessEventsUntil([&] {
        return Camcorder()->PacketsSent() >
               before + 2 * VirtualCamcorderFilter::kDefaultPacketsPerSample;
    }));
    TickUntil(40);
    EXPECT_TRUE(m_page->Session().InCapture());
    Click(CVornakCapture::kIdStop);
    EXPECT_FALSE(m_page->Session().InCapture());
    EXPECT_FALSE(test::ReadAll(m_out + "/tape.m2t").empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CVornakCaptureRun, ASplitRunWhoseStreamRunsDryEndsByItself) {
    Start(SplitRun());
    m_page->Session().GetCapturePin()->SetTakeChunksTimeout(300ms);
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    // No timer ticks: only the worker can notice.
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !m_page->Session().InCapture(); }));
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !m_page->Session().WorkerRunning(); }));
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "INFO: No more data is received from camcoder. Capture stopped.");
    EXPECT_EQ(lines.back(), "End of capturing");
    EXPECT_TRUE(m_page->control(CVornakCapture::kIdRecord)->isEnabled())
        << "the controls were brought up to date on the window's thread";
    EXPECT_EQ(test::ListFiles(m_out).size(), 3u);
}

// Dropped pictures are shown and warned of as they come, and summed up (how many, and the
// timecode where they were noticed) before the end.
TEST_F(CVornakCaptureRun, DroppedPicturesAreShownWarnedAboutAndCanStopTheRun) {
    Start(BrokenPictures({5, 6}));
    Click(CVornakCapture::kIdStopOnDropped);
    Click(CVornakCapture::kIdRecord);
    PlayToTheEnd();
    TickUntil(4);
    EXPECT_EQ(qobject_cast<QLabel*>(m_page->control(CVornakCapture::kIdDropped))->text(), "2");
    EXPECT_FALSE(m_page->Session().InCapture());
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "WARNING: Some packets has been lost.");
    EXPECT_EQ(
        lines[lines.size() - 3].rfind(
            "WARNING: 2 packets\\frames have been lost during capturing, noticed at 0:00:0", 0),
        0u)
        << lines[lines.size() - 3];
    EXPECT_EQ(lines[lines.size() - 2], "End of capturing");
    EXPECT_EQ(lines.back(), "Capture has been stopped because of dropped packets\\frames.");
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Capture has been stopped because of dropped packets\\frames."});
}

TEST_F(CVornakCaptureRun, AFullDiskEndsTheRunWithAMessage) {
    Start({});
    const std::string path = m_out + "/tape.m2t";
    {
        constexpr std::uint64_t kRoomOnDisk = 100'000;
        test::FileSizeLimit limit(kRoomOnDisk);
        ASSERT_TRUE(limit.Ok());
        Click(CVornakCapture::kIdRecord);
        PlayToTheEnd();
        TickUntil(4);
    }
    EXPECT_FALSE(m_page->Session().InCapture());
    const std::string message =
        "ERROR: The capture file can't be written in full (is the disk full?): " + path;
    EXPECT_TRUE(Logged(message));
    EXPECT_EQ(Boxes(), std::vector<std::string>{message});
}

}  // namespace
}  // namespace vornak
