// The capture session's camcorder side with fake devices: which device is taken and how it is
// named, the transport commands the buttons send, the timecode text, the mode check, and the
// loss of the camcorder.
#include "CaptureSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "Com.h"
#include "FakeCamcorder.h"
#include "FilterTestSupport.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "RecordingDiskSync.h"
#include "RecordingView.h"
#include "SplitCommand.h"
#include "TapeTransport.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderPin.h"
#include "VirtualCamcorderSource.h"
#include "VirtualTape.h"

namespace vornak {
namespace {

using test::FakeCamcorder;
using test::FakeCamcorderFaces;
using test::FakeDevice;
using test::FakeDeviceSource;

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

FakeDevice Camcorder(std::string vendor, std::string model, FakeCamcorderFaces faces = {}) {
    return FakeDevice{
        test::CamcorderClassText(), std::move(vendor), std::move(model), true, false, faces};
}

class CaptureSessionTest : public ::testing::Test {
  protected:
    // Detection as the page's timer does it at its first tick.
    void Detect(std::vector<FakeDevice> devices) {
        m_source = std::make_shared<FakeDeviceSource>(std::move(devices));
        m_sources = std::make_unique<test::ScopedDeviceSources>(
            std::vector<std::shared_ptr<IDeviceSource>>{m_source});
        m_session.TimerSteps(0);
    }
    FakeCamcorder* Bound() const {
        const auto bound = m_source->Bound();
        return bound.empty() ? nullptr : bound.back();
    }

    test::RecordingView m_view;
    CaptureSession m_session{&m_view, &m_view, &m_view};
    std::shared_ptr<FakeDeviceSource> m_source;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
};

TEST_F(CaptureSessionTest, AcceptsTheCamcorderClassWrittenInLowerCase) {
    FakeDevice device = Camcorder("Sony", "HDR-FX1");
    device.deviceClass = LowerCase(device.deviceClass);
    ASSERT_NE(device.deviceClass, test::CamcorderClassText());
    Detect({device});
    EXPECT_TRUE(m_session.Present());
    EXPECT_EQ(m_session.CamcorderName(), "Sony HDR-FX1");
}

TEST_F(CaptureSessionTest, TakesTheCamcorderItIsToldToTake) {
    m_session.SetDeviceIndex(1);
    FakeDevice webcam{"{00000000-1111-2222-3333-444444444444}", "Logi", "Cam", true, false, {}};
    Detect({Camcorder("Canon", "XH A1"), webcam, Camcorder("JVC", "GR-HD1")});
    EXPECT_EQ(m_session.CamcorderName(), "JVC GR-HD1");
    m_session.ReleaseGraph();
    m_session.ResetDeviceState();
    m_session.SetDeviceIndex(2);
    m_session.TimerSteps(0);
    EXPECT_FALSE(m_session.Present()) << "there is no third camcorder";
}

TEST_F(CaptureSessionTest, TakesTheFirstOfTwoCamcordersAndConnectsItToTheCapturePin) {
    Detect({Camcorder("Canon", "XH A1"), Camcorder("JVC", "GR-HD1")});
    ASSERT_TRUE(m_session.Present());
    EXPECT_EQ(m_session.CamcorderName(), "Canon XH A1");
    ASSERT_EQ(m_source->Bound().size(), 1u);
    EXPECT_EQ(m_session.Camcorder(), static_cast<IBaseFilter*>(Bound()));
    ASSERT_NE(m_session.GetCapturePin(), nullptr);
    ComPtr<IPin> peer;
    ASSERT_EQ(m_session.GetCapturePin()->ConnectedTo(peer.Receive()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(Bound()->GetPin(0)));
    EXPECT_TRUE(m_session.HasExtDevice());
    EXPECT_TRUE(m_session.HasTransport());
    EXPECT_TRUE(m_session.HasTimecode());
    EXPECT_TRUE(m_session.VcrMode()) << "the mode is checked right after detection";
    EXPECT_GE(m_view.updates, 1);
}

TEST_F(CaptureSessionTest, AnEmptyModelTextLeavesTheVendorAndOneSpace) {
    Detect({Camcorder("Sony", "")});
    ASSERT_TRUE(m_session.Present());
    EXPECT_EQ(m_session.CamcorderName(), "Sony ");
}

TEST_F(CaptureSessionTest, PassesOverDevicesThatAreNotCamcordersOrCannotBeUsed) {
    FakeDevice webcam{"{00000000-1111-2222-3333-444444444444}", "Logi", "Cam", true, false, {}};
    FakeDevice noBag = Camcorder("No", "Bag");
    noBag.hasPropertyBag = false;
    FakeDevice noClass = Camcorder("No", "Class");
    noClass.deviceClass.clear();
    FakeDevice broken = Camcorder("Broken", "Driver");
    broken.bindFails = true;
    Detect({webcam, noBag, noClass, broken, Camcorder("Panasonic", "AG-HVX")});
    ASSERT_TRUE(m_session.Present());
    EXPECT_EQ(m_session.CamcorderName(), "Panasonic AG-HVX");
}

TEST_F(CaptureSessionTest, FindsNothingAmongOtherDevicesAndReleasesTheAttempt) {
    FakeDevice webcam{"{00000000-1111-2222-3333-444444444444}", "Logi", "Cam", true, false, {}};
    FakeDevice broken = Camcorder("Broken", "Driver");
    broken.bindFails = true;
    Detect({webcam, broken});
    EXPECT_FALSE(m_session.Present());
    EXPECT_FALSE(m_session.GraphBuilt());
    EXPECT_EQ(m_session.Camcorder(), nullptr);
    // Detection is tried again only every twelfth tick.
    m_source->SetDevices({Camcorder("Sony", "HDR-HC1")});
    for (std::uint32_t tick = 1; tick < CaptureSession::kDetectEvery; ++tick) {
        m_session.TimerSteps(tick);
        EXPECT_FALSE(m_session.Present()) << "tick " << tick;
    }
    m_session.TimerSteps(CaptureSession::kDetectEvery);
    EXPECT_TRUE(m_session.Present());
}

TEST_F(CaptureSessionTest, SaysWhyNoCamcorderIsFoundOncePerChangeOfCause) {
    constexpr char kNoPort[] = "INFO: No FireWire port was found.";
    constexpr char kNoAccess[] = "WARNING: FireWire devices exist but cannot be opened (x)";
    Detect({});
    std::uint32_t tick = 0;
    const auto detectAgain = [&](const std::string& problem, std::vector<FakeDevice> devices = {}) {
        m_source->SetProblem(problem);
        m_source->SetDevices(std::move(devices));
        tick += CaptureSession::kDetectEvery;
        m_session.TimerSteps(tick);
    };
    detectAgain(kNoPort);
    detectAgain(kNoPort);
    detectAgain(kNoAccess);
    detectAgain(kNoAccess);
    EXPECT_EQ(m_view.Lines(), (std::vector<std::string>{kNoPort, kNoAccess}));
    detectAgain("", {Camcorder("Sony", "HDR-HC1")});
    ASSERT_TRUE(m_session.Present());
    m_session.ReleaseGraph();
    m_session.ResetDeviceState();
    detectAgain(kNoAccess);  // the camcorder went: said again
    EXPECT_EQ(m_view.Lines(), (std::vector<std::string>{kNoPort, kNoAccess, kNoAccess}));
}

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

// A stop lets the camcorder hand on what it had received, once the tape has been told to stop
// and before the file closes: it reaches the file.
TEST_F(CaptureSessionTest, AStopWaitsForWhatTheCamcorderReceivedBeforeItToReachTheFile) {
    FakeCamcorderFaces faces;
    faces.report = true;
    Detect({Camcorder("Sony", "HDR-FX1", faces)});
    FakeCamcorder* camcorder = Bound();
    test::TempDir dir;
    CaptureOptions options;
    options.folder = dir.Path();
    options.fileName = "queued";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());
    constexpr int kNullPid = 0x1FFF;  // nothing for the capture pin to check
    const test::Bytes sample = test::SourcePackets(4, kNullPid);
    camcorder->onWaitUntilDelivered = [&](DWORD) { return camcorder->DeliverSample(sample); };
    m_session.OnStop();

    EXPECT_EQ(camcorder->Waits(),
              std::vector<std::string>{"wait 5000 after " + std::to_string(ED_MODE_PLAY) + "," +
                                       std::to_string(ED_MODE_STOP)});
    EXPECT_TRUE(test::ReadAll(dir.File("queued.m2t")) == test::TransportPackets(sample));
    EXPECT_EQ(m_session.RunDropped(), 0u);
}

TEST_F(CaptureSessionTest, RewindAndFastForwardDependOnWhetherTheTapePlays) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    ASSERT_NE(camcorder, nullptr);
    camcorder->mode = ED_MODE_PLAY;
    m_session.OnRewind();
    camcorder->mode = ED_MODE_PLAY;
    m_session.OnFastForward();
    camcorder->mode = ED_MODE_STOP;
    m_session.OnRewind();
    camcorder->mode = ED_MODE_FREEZE;
    m_session.OnFastForward();
    // A mode that cannot be read counts as not playing.
    camcorder->mode = ED_MODE_PLAY;
    camcorder->modeResult = E_FAIL;
    m_session.OnRewind();
    m_session.OnFastForward();
    camcorder->modeResult = S_OK;
    m_session.OnPlay();
    m_session.OnPause();
    m_session.OnStop();
    EXPECT_EQ(camcorder->SentModes(),
              (std::vector<LONG>{5031, 5029, 4301, 4300, 4301, 4300, 4296, 4298, 4297}));
}

TEST_F(CaptureSessionTest, WithoutATransportFaceNothingIsSentButStopStillEndsARun) {
    Detect({Camcorder("Sony", "HDR-FX1", {true, false, true})});
    ASSERT_TRUE(m_session.Present());
    EXPECT_FALSE(m_session.HasTransport());
    m_session.OnRewind();
    m_session.OnPlay();
    m_session.OnFastForward();
    m_session.OnPause();
    m_session.OnStop();
    EXPECT_TRUE(Bound()->SentModes().empty());

    test::TempDir dir;
    CaptureOptions options;
    options.folder = dir.Path();
    options.fileName = "tape";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());
    m_session.OnStop();
    EXPECT_FALSE(m_session.InCapture());
    EXPECT_EQ(m_view.Lines().back(), "End of capturing");
    EXPECT_TRUE(Bound()->SentModes().empty());
}

TEST_F(CaptureSessionTest, ARunPlaysTheTapeOnlyInTapePlaybackAndStopsItAtTheEnd) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    test::TempDir dir;
    CaptureOptions options;
    options.folder = dir.Path();
    options.fileName = "vcr";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    m_session.OnStop();
    EXPECT_EQ(camcorder->SentModes(), (std::vector<LONG>{ED_MODE_PLAY, ED_MODE_STOP}));
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::Stopped);

    // Told to play, a camcorder in camera mode may record over the tape.
    camcorder->deviceType = ED_DEVTYPE_CAMERA;
    m_session.CheckDeviceMode();
    options.fileName = "camera";
    m_session.OnRecord(options);
    ASSERT_TRUE(m_session.InCapture());
    m_session.OnStop();
    options.fileName = "by-hand";
    options.startTape = false;
    camcorder->deviceType = ED_DEVTYPE_VCR;
    m_session.CheckDeviceMode();
    m_session.OnRecord(options);
    m_session.OnStop();
    EXPECT_EQ(camcorder->SentModes(),
              (std::vector<LONG>{ED_MODE_PLAY, ED_MODE_STOP, ED_MODE_STOP, ED_MODE_STOP}));
}

TEST_F(CaptureSessionTest, TimecodeTextFromEightBcdDigits) {
    EXPECT_EQ(m_session.TimecodeText(), "-:--:--:--") << "no camcorder";
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    camcorder->timecode = 0x01020304;
    EXPECT_EQ(m_session.TimecodeText(), "1:02:03:04");
    EXPECT_EQ(camcorder->lastTimecodeFlags, static_cast<DWORD>(ED_DEVCAP_TIMECODE_READ));
    camcorder->timecode = 0x23595924;
    EXPECT_EQ(m_session.TimecodeText(), "23:59:59:24");
    camcorder->timecodeResult = E_FAIL;
    EXPECT_EQ(m_session.TimecodeText(), "-:--:--:--");
    camcorder->timecodeResult = S_OK;
    EXPECT_EQ(m_session.TimecodeText(), "23:59:59:24") << "the next read tries again";
}

TEST_F(CaptureSessionTest, TimecodeWithoutAReaderShowsDashes) {
    Detect({Camcorder("Sony", "HDR-FX1", {true, true, false})});
    ASSERT_TRUE(m_session.Present());
    EXPECT_EQ(m_session.TimecodeText(), "-:--:--:--");
}

TEST_F(CaptureSessionTest, ModeCheckFollowsTheCamcorderSwitchingBetweenTapeAndCamera) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    ASSERT_TRUE(m_session.VcrMode());
    int updates = m_view.updates;
    m_session.TimerSteps(CaptureSession::kChecksEvery);
    EXPECT_EQ(m_view.updates, updates) << "no change, no update";

    camcorder->deviceType = ED_DEVTYPE_CAMERA;
    m_session.TimerSteps(2 * CaptureSession::kChecksEvery + 1);
    EXPECT_TRUE(m_session.VcrMode()) << "the check runs on every fourth tick only";
    m_session.TimerSteps(2 * CaptureSession::kChecksEvery);
    EXPECT_FALSE(m_session.VcrMode());
    EXPECT_EQ(m_view.updates, updates + 1);

    camcorder->deviceType = ED_DEVTYPE_VCR;
    m_session.TimerSteps(3 * CaptureSession::kChecksEvery);
    EXPECT_TRUE(m_session.VcrMode());
    EXPECT_EQ(m_view.updates, updates + 2);

    // A query that fails counts as camera mode, and updates the controls every time.
    camcorder->deviceTypeResult = E_FAIL;
    m_session.CheckDeviceMode();
    m_session.CheckDeviceMode();
    EXPECT_FALSE(m_session.VcrMode());
    EXPECT_EQ(m_view.updates, updates + 4);
}

TEST_F(CaptureSessionTest, ACamcorderPlayingDvIsUsedAndWarnedOfOnceEachTimeDvBegins) {
    const std::string warning =
        "WARNING: The camcorder plays DV, not HDV: Vornak captures HDV only.";
    FakeDevice device = Camcorder("Sony", "HDR-FX1");
    device.outputSignal = VORNAK_SIGNAL_DV;
    Detect({device});
    ASSERT_TRUE(m_session.Present()) << "a camcorder playing DV is still listed";
    EXPECT_TRUE(m_session.DvSignal());
    for (std::uint32_t tick = 1; tick <= 5 * CaptureSession::kChecksEvery; ++tick) {
        m_session.TimerSteps(tick);
    }
    EXPECT_EQ(m_view.Lines(), std::vector<std::string>{warning});
    m_session.OnPlay();
    EXPECT_EQ(Bound()->SentModes(), std::vector<LONG>{ED_MODE_PLAY}) << "its transport works";

    // HDV, then DV again: warned again. A camcorder that cannot tell is taken to play HDV.
    Bound()->outputSignal = VORNAK_SIGNAL_HDV;
    m_session.CheckDeviceMode();
    EXPECT_FALSE(m_session.DvSignal());
    Bound()->outputSignal = VORNAK_SIGNAL_DV;
    m_session.CheckDeviceMode();
    m_session.CheckDeviceMode();
    Bound()->outputSignal = 0;
    m_session.CheckDeviceMode();
    EXPECT_FALSE(m_session.DvSignal());
    EXPECT_EQ(m_view.Lines(), (std::vector<std::string>{warning, warning}));
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

// A run that could not make its first file is refused with one message naming the folder or
// the name with the system's reason, before the tape is told anything.
TEST_F(CaptureSessionTest, ARunThatCouldNotWriteIsRefusedBeforeTheTapeMoves) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    FakeCamcorder* camcorder = Bound();
    ASSERT_NE(camcorder, nullptr);
    test::TempDir dir;
    const std::string plainFile = dir.File("file");
    test::WriteAll(plainFile, {1});
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::string longName(300, 'n');
    struct Case {
        std::string folder;
        std::string name;
        std::string named;   // what the message must name
        std::string reason;  // and the reason it must give
    };
    std::vector<Case> cases{
        {dir.File("missing"), "tape", dir.File("missing"), "No such file or directory"},
        {plainFile, "tape", plainFile, "Not a directory"},
        {dir.Path(), "sub/tape", "sub/tape", "\"/\""},
        {dir.Path(), longName, longName, "File name too long"},
    };
    if (::geteuid() != 0) {  // the superuser writes anywhere
        cases.push_back({locked, "tape", locked, "Permission denied"});
    }
    for (const bool split : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE((split ? "split: " : "file: ") + c.folder + " " + c.name.substr(0, 20));
            m_view.boxes.clear();
            CaptureOptions options;
            options.folder = c.folder;
            options.fileName = c.name;
            options.sceneSplit = split;
            m_session.OnRecord(options);
            EXPECT_FALSE(m_session.InCapture());
            ASSERT_EQ(m_view.boxes.size(), 1u);
            const std::string& box = m_view.boxes[0];
            EXPECT_EQ(box.rfind("ERROR: ", 0), 0u) << box;
            EXPECT_NE(box.find(c.named), std::string::npos) << box;
            EXPECT_NE(box.find(c.reason), std::string::npos) << box;
            EXPECT_EQ(m_view.Lines().back(), box);
        }
    }
    EXPECT_FALSE(m_session.WorkerRunning());
    EXPECT_TRUE(camcorder->SentModes().empty()) << "the tape never moved";
    EXPECT_EQ(test::ListFiles(dir.Path()), std::vector<std::string>{"file"});
    EXPECT_TRUE(std::filesystem::is_empty(locked));
}

// What a file run wrote is on the disk, its name too, before the run is said to have ended;
// a flush that fails is a write failure.
TEST_F(CaptureSessionTest, AFileRunIsFlushedWithItsFolderBeforeItsEndIsLogged) {
    Detect({Camcorder("Sony", "HDR-FX1")});
    test::TempDir dir;
    test::RecordingDiskSync sync;
    std::vector<std::string> lastLineAtFlush;
    sync.onEvent = [&](const std::string&) { lastLineAtFlush.push_back(m_view.Lines().back()); };
    m_session.SetDiskSync(&sync);
    CaptureOptions options;
    options.folder = dir.Path();
    options.sceneSplit = false;
    const auto run = [&](const std::string& name) {
        options.fileName = name;
        m_session.OnRecord(options);
        ASSERT_TRUE(m_session.InCapture());
        m_session.StopRun();
    };
    run("good");
    EXPECT_EQ(sync.Events(),
              (std::vector<std::string>{"file " + dir.File("good.m2t"), "folder " + dir.Path()}));
    EXPECT_EQ(lastLineAtFlush, (std::vector<std::string>{"Capturing has been started",
                                                         "Capturing has been started"}));
    EXPECT_EQ(m_view.Lines().back(), "End of capturing");
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::Stopped);
    EXPECT_TRUE(m_view.boxes.empty());

    sync.fileError = EIO;
    run("file");
    const std::string fileFailed =
        "ERROR: The capture file can't be written in full (is the disk full?): " +
        dir.File("file.m2t");
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::WriteFailed);
    EXPECT_EQ(m_view.Lines().back(), fileFailed);
    EXPECT_EQ(m_view.boxes, std::vector<std::string>{fileFailed});

    sync.fileError = 0;
    sync.folderError = EIO;
    run("folder");
    const std::string folderFailed =
        "ERROR: This folder can't be written to the disk: " + dir.Path() + " (Input/output error)";
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::WriteFailed);
    EXPECT_EQ(m_view.Lines().back(), folderFailed);
    EXPECT_EQ(m_view.boxes, (std::vector<std::string>{fileFailed, folderFailed}));
}

}  // namespace
}  // namespace vornak

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

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

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
        m_view.RunPosted();
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

namespace vornak {
namespace {

tape::DateTime At(int hour, int minute) {
    tape::DateTime d;
    d.hour = hour;
    d.minute = minute;
    return d;
}

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
        const tape::DateTime starts[] = {At(9, 0), At(9, 30), At(12, 0)};
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

INSTANTIATE_TEST_SUITE_P(PlainAndSync, CaptureSessionRunTest, ::testing::Bool());

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

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

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr char kDvWarning[] = "WARNING: The camcorder plays DV, not HDV: Vornak captures HDV only.";
// Scenes of 1.8 s, 6 s and 1.8 s, with three seconds of DV inside the second one.
const std::vector<int> kDvTapeGops{3, 10, 3};
constexpr double kDvAt = 3.8;
// At three times the tape's rate the DV lasts a second, longer than the silence that ends a
// run here, which is still long enough for the once-a-second check (ten times faster here) to
// see the DV before the silence ends the scene on its own.
constexpr double kDvSpeed = 3;
constexpr auto kShortSilence = 500ms;

// A file run does not depend on the sync mode.
class CaptureSessionDvTest : public CaptureSessionRunTest {};

bool StartsWith(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& part) {
    return part.size() <= data.size() && std::equal(part.begin(), part.end(), data.begin());
}
bool EndsWith(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& part) {
    return part.size() <= data.size() && std::equal(part.rbegin(), part.rend(), data.rbegin());
}

// True when the first video packet of `data` holds a picture group header.
bool FirstVideoPacketStartsAGroup(const std::vector<std::uint8_t>& data) {
    constexpr std::uint8_t kGroupHeader[] = {0x00, 0x00, 0x01, 0xB8};
    for (std::size_t at = 0; at + PKT_SIZE <= data.size(); at += PKT_SIZE) {
        const std::uint8_t* packet = data.data() + at;
        if (packet[0] == SYNC_BYTE && pid(packet) == PID_VIDEO) {
            return std::search(packet, packet + PKT_SIZE, std::begin(kGroupHeader),
                               std::end(kGroupHeader)) != packet + PKT_SIZE;
        }
    }
    return false;
}

// The scene in progress ends where DV begins, HDV starts a new scene file with the next number,
// and the silence of the DV does not end the run.
TEST_P(CaptureSessionRunTest, DvInASplitRunClosesTheSceneAndHdvStartsANewOne) {
    Start(kDvSpeed, kDvTapeGops, {kDvAt});
    const std::string expected = m_dir.File("expected");
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    ASSERT_NO_FATAL_FAILURE(SplitTheTapeInto(expected));

    m_session.GetCapturePin()->SetTakeChunksTimeout(kShortSilence);
    m_session.OnRecord(SplitOptions(live));
    TickUntilTheRunHasEnded();
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    EXPECT_EQ(Count(kDvWarning), 1);
    EXPECT_EQ(Count("INFO: No more data is received from camcoder. Capture stopped."), 0);
    // The HDV comes back inside a picture group: that part of it is a fragment of its own, in
    // either mode.
    ASSERT_EQ(test::ListFiles(live),
              (std::vector<std::string>{"tape-0000.m2t", "tape-0001.m2t", "tape-0002-fragment.m2t",
                                        "tape-0003.m2t", "tape-0004.m2t"}));
    EXPECT_EQ(m_session.SceneCounter(), 5);
    EXPECT_TRUE(test::ReadAll(live + "/tape-0004.m2t") ==
                test::ReadAll(expected + "/tape-0002.m2t"));
    const auto before = test::ReadAll(live + "/tape-0001.m2t");
    auto fragment = test::ReadAll(live + "/tape-0002-fragment.m2t");
    const auto after = test::ReadAll(live + "/tape-0003.m2t");
    EXPECT_FALSE(before.empty());
    EXPECT_FALSE(fragment.empty());
    EXPECT_FALSE(after.empty());
    EXPECT_FALSE(FirstVideoPacketStartsAGroup(fragment));
    EXPECT_TRUE(FirstVideoPacketStartsAGroup(after));
    if (!GetParam()) {
        // The second scene in three files, byte for byte: its start up to the DV, the rest of
        // the group the HDV came back in, and its rest from the first picture group after it.
        const auto scene = test::ReadAll(expected + "/tape-0001.m2t");
        EXPECT_LT(before.size() + fragment.size() + after.size(), scene.size());
        EXPECT_TRUE(StartsWith(scene, before));
        fragment.insert(fragment.end(), after.begin(), after.end());
        EXPECT_TRUE(EndsWith(scene, fragment));
    }
    EXPECT_TRUE(test::ReadAll(live + "/tape-0000.m2t") ==
                test::ReadAll(expected + "/tape-0000.m2t"));
}

// A file run keeps its file through the DV and goes on writing into it when HDV comes back:
// the file is the tape without the DV stretch.
TEST_F(CaptureSessionDvTest, AFileRunKeepsAppendingAfterDv) {
    Start(kDvSpeed, kDvTapeGops, {kDvAt});
    CaptureOptions options;
    options.folder = m_dir.Path();
    options.fileName = "whole";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    TickUntilTheRunHasEnded();
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    EXPECT_EQ(Count(kDvWarning), 1);
    // The tape's counters jump across the stretch: no packet of the stream is missing.
    ASSERT_NE(m_session.GetCapturePin(), nullptr);
    EXPECT_EQ(m_session.GetCapturePin()->LostPackets(), 0u);

    const auto tape = test::ReadAll(m_dir.File("tape.m2t"));
    const auto file = test::ReadAll(m_dir.File("whole.m2t"));
    ASSERT_LT(file.size(), tape.size());
    const std::size_t gap = tape.size() - file.size();
    ASSERT_EQ(gap % PKT_SIZE, 0u);
    VirtualTape virtualTape;
    ASSERT_TRUE(virtualTape.Open(m_dir.File("tape.m2t")));
    EXPECT_NEAR(static_cast<double>(gap / PKT_SIZE),
                TapeTransport::kDvStretchSeconds * virtualTape.BitRate() / (PKT_SIZE * 8), 1.0);
    const auto mismatch = std::mismatch(file.begin(), file.end(), tape.begin());
    const std::size_t cut =
        static_cast<std::size_t>(mismatch.first - file.begin()) / PKT_SIZE * PKT_SIZE;
    EXPECT_GT(cut, 0u);
    EXPECT_TRUE(std::equal(file.begin() + static_cast<std::ptrdiff_t>(cut), file.end(),
                           tape.begin() + static_cast<std::ptrdiff_t>(cut + gap)));
}

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

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
