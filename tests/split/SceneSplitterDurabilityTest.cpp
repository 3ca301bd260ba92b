// What a split job promises before it reports success: every scene file and its folder flushed
// to the disk, a flush that fails reported as a failed write, and inputs that are no tapes
// refused without writing anything.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "DiskSync.h"
#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPictureBytes = 3000;
constexpr const char* kProcessing = "\r\nProcessing file: ";

// Records what is flushed, in order, by the file's identity; fails on request.
class RecordingSync : public DiskSync {
  public:
    int SyncFile(int fd) override {
        struct stat st {};
        ::fstat(fd, &st);
        events.push_back("file " + std::to_string(st.st_ino));
        return fileError;
    }
    int SyncFolder(const std::string& folder) override {
        events.push_back("folder " + folder);
        return folderError;
    }

    std::vector<std::string> events;
    int fileError = 0;
    int folderError = 0;
};

std::string FileEvent(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return "file " + std::to_string(st.st_ino);
}

Bytes ThreeSceneTape() {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    for (int hour : {10, 11, 12}) {
        tape::SceneSpec scene;
        scene.start.hour = hour;
        scene.gops = 3;
        writer.AddScene(scene);
    }
    return writer.Build();
}

struct Job {
    std::vector<std::string> lines;
    SplitResult result = SplitResult::Completed;
};

Job Split(const std::string& input, const std::string& base, bool sync, DiskSync* disk = nullptr) {
    test::CapturingLog log;
    SceneSplitter job(
        input, {.baseName = base, .extension = "m2t", .dateTimeNaming = false, .syncAV = sync});
    job.SetLog(&log);
    job.SetDiskSync(disk);
    job.Run();
    EXPECT_EQ(job.Failed(),
              job.Result() != SplitResult::Completed && job.Result() != SplitResult::Stopped);
    return {log.Lines(), job.Result()};
}

// In both modes each scene file is flushed as it is closed, and the folder once after the last.
TEST(SceneSplitterDurability, EveryClosedFileAndThenItsFolderAreFlushed) {
    for (const bool sync : {false, true}) {
        test::TempDir dir;
        const std::string input = dir.File("in.m2t");
        test::WriteAll(input, ThreeSceneTape());
        RecordingSync disk;
        const Job job = Split(input, dir.File("tape"), sync, &disk);
        EXPECT_EQ(job.result, SplitResult::Completed) << sync;
        EXPECT_EQ(disk.events,
                  (std::vector<std::string>{
                      FileEvent(dir.File("tape-0000.m2t")), FileEvent(dir.File("tape-0001.m2t")),
                      FileEvent(dir.File("tape-0002.m2t")), "folder " + dir.Path()}))
            << sync;
    }
}

// A flush that fails is a write that failed: an error naming the file and the system's reason.
TEST(SceneSplitterDurability, FailedFlushIsAFailedWrite) {
    test::TempDir dir;
    const std::string input = dir.File("in.m2t");
    test::WriteAll(input, ThreeSceneTape());
    RecordingSync disk;
    disk.fileError = EIO;
    Job job = Split(input, dir.File("a"), false, &disk);
    EXPECT_EQ(job.result, SplitResult::WriteFailed);
    std::vector<std::string> errors;
    for (const std::string& line : job.lines) {
        if (line.rfind("ERROR: ", 0) == 0) {
            errors.push_back(line);
        }
    }
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), "ERROR: This file can't be written to the disk: " +
                                  dir.File("a-0000.m2t") + " (Input/output error)");

    disk = RecordingSync{};
    disk.folderError = EIO;
    job = Split(input, dir.File("b"), false, &disk);
    EXPECT_EQ(job.result, SplitResult::WriteFailed);
    EXPECT_EQ(job.lines.back(), "ERROR: This folder can't be written to the disk: " + dir.Path() +
                                    " (Input/output error)");
}

// A FIFO without a writer would block the open for ever, /dev/zero would be read without end.
TEST(SceneSplitterDurability, InputThatIsNoRegularFileIsRefusedAtOnce) {
    test::TempDir dir;
    const std::string fifo = dir.File("fifo.m2t");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& input : {fifo, std::string("/dev/zero"), dir.Path()}) {
        const auto start = std::chrono::steady_clock::now();
        const Job job = Split(input, dir.File("tape"), false);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << input;
        EXPECT_EQ(job.result, SplitResult::InputFailed) << input;
        EXPECT_EQ(job.lines,
                  std::vector<std::string>{"\r\nERROR: This is not a regular file: " + input});
    }
    EXPECT_EQ(test::ListFiles(dir.Path()), std::vector<std::string>{});
}

// Bytes without packets in a row are no tape: nothing is written, in either mode. A tiny input
// that is nothing but whole packets still is one.
TEST(SceneSplitterDurability, InputWithoutATransportStreamWritesNothing) {
    std::mt19937 random(7);
    Bytes noise(1 << 20);
    for (auto& byte : noise) {
        byte = static_cast<std::uint8_t>(random());
    }
    // A PNG signature over noise. Built in place: GCC 12 sees a false array-bounds overflow in
    // an insert after an eight-byte initialiser list.
    const Bytes pngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes picture(noise.begin(), noise.begin() + 5008);
    std::copy(pngSignature.begin(), pngSignature.end(), picture.begin());
    Bytes packets = tape::packets::Pat();
    const Bytes pmt = tape::packets::Pmt();
    packets.insert(packets.end(), pmt.begin(), pmt.end());
    // Sync bytes at the packet spacing, but one packet's length short of a whole one.
    Bytes almost(PKT_SIZE * 3 - 1, 0);
    for (std::size_t at = 0; at < almost.size(); at += PKT_SIZE) {
        almost[at] = SYNC_BYTE;
    }
    struct Case {
        const char* what;
        Bytes bytes;
        bool stream;
    };
    const std::vector<Case> cases = {{"empty", {}, false},
                                     {"187 bytes", Bytes(187, SYNC_BYTE), false},
                                     {"random bytes", noise, false},
                                     {"a picture", picture, false},
                                     {"packets cut short", almost, false},
                                     {"two whole packets", packets, true}};
    for (const bool sync : {false, true}) {
        for (const Case& c : cases) {
            test::TempDir dir;
            const std::string input = dir.File("in.m2t");
            test::WriteAll(input, c.bytes);
            test::TempDir out;
            const Job job = Split(input, out.File("tape"), sync);
            if (c.stream) {
                EXPECT_EQ(job.result, SplitResult::Completed) << c.what;
                EXPECT_EQ(test::Concat(out.Path(), test::ListFiles(out.Path())), c.bytes);
                continue;
            }
            EXPECT_EQ(job.result, SplitResult::NoStream) << c.what;
            EXPECT_EQ(job.lines,
                      (std::vector<std::string>{
                          kProcessing + input,
                          "ERROR: This is neither an MPEG-2 transport stream nor DV: " + input}))
                << c.what;
            EXPECT_EQ(test::ListFiles(out.Path()), std::vector<std::string>{}) << c.what;
        }
    }
}

}  // namespace
}  // namespace vornak
