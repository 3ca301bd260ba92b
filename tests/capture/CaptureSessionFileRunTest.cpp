// File runs of the capture session with a fake camcorder: the stop that waits for what was
// received, the run refused before the tape moves, and the flush before the end is logged.
#include "CaptureSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "CaptureSessionTest.h"
#include "FakeCamcorder.h"
#include "FilterTestSupport.h"
#include "RecordingDiskSync.h"
#include "RecordingView.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::Camcorder;
using test::CaptureSessionTest;
using test::FakeCamcorder;
using test::FakeCamcorderFaces;

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
