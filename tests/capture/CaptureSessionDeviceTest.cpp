// The capture session's camcorder side with fake devices: which device is taken and how it is
// named, the transport commands the buttons send, the timecode text and the mode check.
#include "CaptureSession.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CapturePin.h"
#include "CaptureSessionTest.h"
#include "FakeCamcorder.h"
#include "GraphInterfaces.h"
#include "RecordingView.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::Camcorder;
using test::CaptureSessionTest;
using test::FakeCamcorder;
using test::FakeCamcorderFaces;
using test::FakeDevice;

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The device index counts camcorders alone; the camcorder class is known in lower case too;
// devices that are not camcorders or cannot be used are passed over; an empty model text leaves
// the vendor and one space. Each detection follows a release, as when the index is changed.
TEST_F(CaptureSessionTest, TakesTheCamcorderItIsToldToTakeAndNamesIt) {
    FakeDevice lowerCase = Camcorder("Sony", "HDR-FX1");
    lowerCase.deviceClass = LowerCase(lowerCase.deviceClass);
    ASSERT_NE(lowerCase.deviceClass, test::CamcorderClassText());
    FakeDevice webcam{"{00000000-1111-2222-3333-444444444444}", "Logi", "Cam", true, false, {}};
    FakeDevice noBag = Camcorder("No", "Bag");
    noBag.hasPropertyBag = false;
    FakeDevice noClass = Camcorder("No", "Class");
    noClass.deviceClass.clear();
    FakeDevice broken = Camcorder("Broken", "Driver");
    broken.bindFails = true;
    const std::vector<FakeDevice> two{Camcorder("Canon", "XH A1"), webcam,
                                      Camcorder("JVC", "GR-HD1")};
    const struct {
        int index;
        std::vector<FakeDevice> devices;
        const char* name;  // null: none is taken
    } cases[] = {
        {0, {lowerCase}, "Sony HDR-FX1"},
        {1, two, "JVC GR-HD1"},
        {2, two, nullptr},
        {0, {webcam, noBag, noClass, broken, Camcorder("Panasonic", "AG-HVX")}, "Panasonic AG-HVX"},
        {0, {Camcorder("Sony", "")}, "Sony "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "none");
        m_session.ReleaseGraph();
        m_session.ResetDeviceState();
        m_session.SetDeviceIndex(c.index);
        Detect(c.devices);
        EXPECT_EQ(m_session.Present(), c.name != nullptr);
        if (c.name) {
            EXPECT_EQ(m_session.CamcorderName(), c.name);
        }
    }
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
    const DeviceProblem noPort{"INFO: No FireWire port was found.", false};
    const DeviceProblem noAccess{"WARNING: FireWire devices exist but cannot be opened (x)", true};
    Detect({});
    std::uint32_t tick = 0;
    const auto detectAgain = [&](const DeviceProblem& problem,
                                 std::vector<FakeDevice> devices = {}) {
        m_source->SetProblem(problem);
        m_source->SetDevices(std::move(devices));
        tick += CaptureSession::kDetectEvery;
        m_session.TimerSteps(tick);
    };
    detectAgain(noPort);
    detectAgain(noPort);
    detectAgain(noAccess);
    detectAgain(noAccess);
    // The source says how grave its reason is: no port is news, no access a warning.
    const test::SeverityLine infoNoPort{LogSeverity::Info, noPort.line};
    const test::SeverityLine warningNoAccess{LogSeverity::Warning, noAccess.line};
    EXPECT_EQ(m_view.Entries(), (std::vector<test::SeverityLine>{infoNoPort, warningNoAccess}));
    detectAgain({}, {Camcorder("Sony", "HDR-HC1")});
    ASSERT_TRUE(m_session.Present());
    m_session.ReleaseGraph();
    m_session.ResetDeviceState();
    detectAgain(noAccess);  // the camcorder went: said again
    EXPECT_EQ(m_view.Entries(),
              (std::vector<test::SeverityLine>{infoNoPort, warningNoAccess, warningNoAccess}));
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

TEST_F(CaptureSessionTest, ACamcorderPlayingDvIsUsedAndTheSignalSaidOnceEachTimeItChanges) {
    const std::string dv = "INFO: The camcorder plays DV: it is captured into DV files (.dv).";
    const std::string hdv = "INFO: The camcorder plays HDV: it is captured into HDV files (.m2t).";
    FakeDevice device = Camcorder("Sony", "HDR-FX1");
    device.outputSignal = VORNAK_SIGNAL_DV;
    Detect({device});
    ASSERT_TRUE(m_session.Present()) << "a camcorder playing DV is still listed";
    EXPECT_TRUE(m_session.DvSignal());
    for (std::uint32_t tick = 1; tick <= 5 * CaptureSession::kChecksEvery; ++tick) {
        m_session.TimerSteps(tick);
    }
    EXPECT_EQ(m_view.Lines(), std::vector<std::string>{dv});
    m_session.OnPlay();
    EXPECT_EQ(Bound()->SentModes(), std::vector<LONG>{ED_MODE_PLAY}) << "its transport works";

    // HDV, then DV again: said again. A camcorder that cannot tell is taken to play HDV.
    Bound()->outputSignal = VORNAK_SIGNAL_HDV;
    m_session.CheckDeviceMode();
    EXPECT_FALSE(m_session.DvSignal());
    Bound()->outputSignal = VORNAK_SIGNAL_DV;
    m_session.CheckDeviceMode();
    m_session.CheckDeviceMode();
    Bound()->outputSignal = 0;
    m_session.CheckDeviceMode();
    EXPECT_FALSE(m_session.DvSignal());
    EXPECT_EQ(m_view.Lines(), (std::vector<std::string>{dv, hdv, dv, hdv}));
}

}  // namespace
}  // namespace vornak
