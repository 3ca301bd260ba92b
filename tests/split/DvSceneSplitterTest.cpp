// The DV scene job on synthetic tapes: cuts at the right frames, every byte kept in order,
// names, "-new", flushing, listing, stop and scene choice.
#include "DvSceneSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dv::DvSystem;
using dv::test::FrameSetup;
using dv::test::Stamp;

constexpr const char* kProcessing = "\r\nProcessing file: ";
constexpr const char* kCreating = "Creating new file: ";
constexpr const char* kSceneChange = "Scene change detected.";
// Reads that end inside frames, and reads of many frames at once.
constexpr std::size_t kReadSizes[] = {33'333, DvSceneSplitter::kReadSize};
// No byte of it begins a header block (type 0 in the top three bits).
constexpr std::uint8_t kGarbageByte = 0xA5;

FrameSetup At(int hour, int minute, int second, DvSystem system = DvSystem::k625_50) {
    FrameSetup setup;
    setup.system = system;
    setup.stamp = Stamp{7, 6, 15, hour, minute, second};
    return setup;
}

FrameSetup Undated(DvSystem system = DvSystem::k625_50) {
    FrameSetup setup;
    setup.system = system;
    setup.dated = false;
    return setup;
}

// A tape built piece by piece, with the offsets where its scenes should begin.
struct Tape {
    Bytes bytes;
    std::vector<std::int64_t> starts;

    // `cut`: the frame opens a new scene.
    Tape& Frame(const FrameSetup& setup, bool cut = false) {
        Cut(cut);
        const Bytes frame = dv::test::MakeFrame(setup);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        return *this;
    }
    Tape& Frames(FrameSetup setup, int count, bool cut = false) {
        for (int i = 0; i < count; ++i) {
            Frame(setup, cut && i == 0);
        }
        return *this;
    }
    Tape& Garbage(std::size_t size) {
        bytes.insert(bytes.end(), size, kGarbageByte);
        return *this;
    }
    // A frame cut short after `size` bytes.
    Tape& Truncated(const FrameSetup& setup, std::size_t size) {
        const Bytes frame = dv::test::MakeFrame(setup);
        bytes.insert(bytes.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size));
        return *this;
    }

  private:
    void Cut(bool cut) {
        if (cut || starts.empty()) {
            starts.push_back(starts.empty() ? 0 : static_cast<std::int64_t>(bytes.size()));
        }
    }
};

// The input, an output folder and the job's report.
struct DvRun {
    test::TempDir dir;
    std::string input = dir.File("in.dv");
    std::string out = dir.File("out");
    test::CapturingLog log;
    SplitResult result = SplitResult::Completed;
    std::int32_t counter = 0;

    explicit DvRun(const Bytes& tape) {
        test::WriteAll(input, tape);
        std::filesystem::create_directory(out);
    }
    SceneSplitterSettings Settings() const {
        return {.baseName = out + "/tape", .extension = "dv"};
    }
    void Go(SceneSplitterSettings settings, std::size_t readSize = DvSceneSplitter::kReadSize,
            const std::set<int>* chosen = nullptr, DiskSync* sync = nullptr) {
        DvSceneSplitter job(input, std::move(settings));
        job.SetLog(&log);
        job.SetReadSize(readSize);
        job.SetDiskSync(sync);
        if (chosen != nullptr) {
            job.SetSceneChoice([chosen](std::int32_t n) { return chosen->count(n) > 0; });
        }
        job.Run();
        result = job.Result();
        counter = job.Counter();
    }
    // The scene files in the order the job made them, joined.
    Bytes Joined() const {
        Bytes all;
        for (const SceneSummary& scene : log.Scenes()) {
            const Bytes part = test::ReadAll(scene.path);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
    std::vector<std::string> Lines(const std::vector<std::string>& names) const {
        std::vector<std::string> lines = {kProcessing + input};
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) {
                lines.emplace_back(kSceneChange);
            }
            lines.push_back(kCreating + out + "/" + names[i]);
        }
        return lines;
    }
};

struct SplitCase {
    const char* name;
    Tape tape;
    std::vector<std::string> files;  // in tape order
    std::vector<std::uint64_t> frames;
    std::vector<std::uint64_t> broken;  // frames cut short
};

std::vector<SplitCase> SplitCases() {
    const FrameSetup ntsc = At(18, 30, 0, DvSystem::k525_60);
    FrameSetup ntscStart = At(18, 30, 1, DvSystem::k525_60);
    ntscStart.recordingStart = true;
    FrameSetup ntscWide = At(18, 30, 2, DvSystem::k525_60);
    ntscWide.wide = true;
    return {
        {"PAL: one-second ticks go on, a jump forward and one back cut",
         Tape()
             .Frames(At(10, 0, 0), 2)
             .Frames(At(10, 0, 1), 2)
             .Frame(At(10, 0, 3))  // two seconds on: the same recording
             .Frames(At(10, 0, 6), 2, true)
             .Frames(At(9, 59, 0), 2, true),
         {"tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-10_00_06.dv",
          "tape-2007_06_15-09_59_00.dv"},
         {5, 2, 2},
         {0, 0, 0}},
        {"NTSC: a recording start and a new aspect cut",
         Tape().Frames(ntsc, 3).Frames(ntscStart, 2, true).Frames(ntscWide, 2, true),
         {"tape-2007_06_15-18_30_00.dv", "tape-2007_06_15-18_30_01.dv",
          "tape-2007_06_15-18_30_02.dv"},
         {3, 2, 2},
         {0, 0, 0}},
        {"garbage between frames and a last frame cut short stay in their scenes",
         Tape()
             .Garbage(1000)  // before the first frame: the first scene's
             .Frame(At(10, 0, 0))
             .Garbage(77)
             .Frame(At(10, 0, 0))
             .Garbage(5000)  // before the cut: the scene before's
             .Frame(At(11, 0, 0), true)
             .Truncated(At(11, 0, 0), dv::kSequenceSize * 3 + 17),
         {"tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-11_00_00.dv"},
         {2, 1},
         {0, 1}},
        {"frames without a date belong to their scene and the first date names it",
         Tape()
             .Frame(Undated())
             .Frame(At(10, 0, 0))
             .Frame(Undated())
             .Frame(At(10, 0, 1))
             .Frames(At(12, 0, 0), 1, true)
             .Frame(Undated()),
         {"tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-12_00_00.dv"},
         {4, 2},
         {0, 0}},
        {"a scene undated for longer than its file is held back is named without a date",
         Tape()
             .Frames(Undated(), static_cast<int>(DvSceneSplitter::kHoldFrames) + 2)
             .Frame(At(10, 0, 0))
             .Frames(At(12, 0, 0), 1, true),
         {"tape-noTime-0000.dv", "tape-2007_06_15-12_00_00.dv"},
         {DvSceneSplitter::kHoldFrames + 3, 1},
         {0, 0}},
    };
}

TEST(DvSceneSplitter, CutsBeforeTheFirstFrameOfEachSceneAndKeepsEveryByte) {
    test::ScopedTimeZone tz("UTC0");
    for (const SplitCase& c : SplitCases()) {
        for (const std::size_t readSize : kReadSizes) {
            SCOPED_TRACE(std::string(c.name) + ", reads of " + std::to_string(readSize));
            DvRun run(c.tape.bytes);
            run.Go(run.Settings(), readSize);
            EXPECT_EQ(run.result, SplitResult::Completed);
            EXPECT_EQ(run.log.Lines(), run.Lines(c.files));
            const std::vector<SceneSummary> scenes = run.log.Scenes();
            ASSERT_EQ(scenes.size(), c.files.size());
            EXPECT_EQ(run.Joined(), c.tape.bytes);
            EXPECT_EQ(run.log.Written(), c.tape.bytes.size());
            for (std::size_t i = 0; i < scenes.size(); ++i) {
                EXPECT_EQ(scenes[i].number, static_cast<std::int32_t>(i));
                EXPECT_EQ(scenes[i].path, run.out + "/" + c.files[i]);
                EXPECT_EQ(scenes[i].offset, c.tape.starts[i]) << i;
                EXPECT_EQ(scenes[i].frames, c.frames[i]) << i;
                EXPECT_EQ(scenes[i].pictures, c.frames[i]) << i;
                EXPECT_EQ(scenes[i].brokenPictures, c.broken[i]) << i;
                EXPECT_EQ(scenes[i].length, test::ReadAll(scenes[i].path).size()) << i;
            }
        }
    }
}

// What a scene reports beyond its bytes: the format, system, aspect, timecodes, dates, damage
// and a duration at the system's own frame rate.
TEST(DvSceneSplitter, ReportsEachScenesDvFacts) {
    test::ScopedTimeZone tz("UTC0");
    FrameSetup first = At(10, 0, 0, DvSystem::k525_60);
    first.wide = true;
    first.tc = {1, 2, 3, 4};
    FrameSetup damaged = At(10, 0, 1, DvSystem::k525_60);
    damaged.wide = true;
    damaged.tc = {1, 2, 3, 5};
    Bytes video = dv::test::MakeFrame(damaged);
    video[dv::test::VideoBlockAt(2, 4, 7) + dv::kVideoStaByte] = 0xF0;  // error, not concealed
    Bytes concealed = dv::test::MakeFrame(damaged);
    concealed[dv::test::VideoBlockAt(0, 0, 0) + dv::kVideoStaByte] = 0x20;
    Bytes audio = dv::test::MakeFrame(damaged);
    audio[dv::test::AudioDataAt(3, 1)] = 0x80;  // one sample of 0x8000
    FrameSetup untimed = At(10, 0, 2, DvSystem::k525_60);
    untimed.timecode = false;
    untimed.wide = true;

    Tape tape;
    tape.Frame(first);
    for (const Bytes* frame : {&video, &concealed, &audio}) {
        tape.bytes.insert(tape.bytes.end(), frame->begin(), frame->end());
    }
    tape.Frame(untimed).Frames(At(11, 0, 0, DvSystem::k625_50), 1, true);

    DvRun run(tape.bytes);
    run.Go(run.Settings());
    const std::vector<SceneSummary> scenes = run.log.Scenes();
    ASSERT_EQ(scenes.size(), 2u);
    const SceneSummary& ntsc = scenes[0];
    EXPECT_EQ(ntsc.format, "DV");
    EXPECT_EQ(ntsc.system, "525/60");
    EXPECT_EQ(ntsc.aspect, "16:9");
    EXPECT_EQ(ntsc.frames, 5u);
    EXPECT_EQ(ntsc.firstTimecode, "01:02:03:04");
    EXPECT_EQ(ntsc.lastTimecode, "01:02:03:05");  // the last frame that carries one
    EXPECT_EQ(ntsc.damagedVideoFrames, 2u);
    EXPECT_EQ(ntsc.damagedAudioFrames, 1u);
    EXPECT_EQ(test::IsoText(*ntsc.firstDate), "2007-06-15T10:00:00");
    EXPECT_EQ(test::IsoText(*ntsc.lastDate), "2007-06-15T10:00:02");
    EXPECT_DOUBLE_EQ(ntsc.DurationSeconds(), 5 * 1001.0 / 30000.0);

    const SceneSummary& pal = scenes[1];
    EXPECT_EQ(pal.system, "625/50");
    EXPECT_EQ(pal.aspect, "4:3");
    EXPECT_EQ(pal.firstTimecode, "00:00:00:00");
    EXPECT_EQ(pal.damagedVideoFrames + pal.damagedAudioFrames, 0u);
    EXPECT_DOUBLE_EQ(pal.DurationSeconds(), 1 / 25.0);
}

// A listing and a split of chosen scenes decide exactly as a full split does; only the files
// differ. Names of scenes not written stay unused, in both namings.
TEST(DvSceneSplitter, ListingAndChosenScenesMatchAFullSplit) {
    test::ScopedTimeZone tz("UTC0");
    FrameSetup undatedStart = Undated();
    undatedStart.recordingStart = true;
    FrameSetup laterStart = At(10, 9, 0);
    laterStart.recordingStart = true;
    const Tape tape = Tape()
                          .Frames(At(10, 0, 0), 2)
                          .Frames(At(10, 5, 0), 2, true)
                          .Frame(undatedStart, true)  // a recording never dated
                          .Frame(Undated())
                          .Frame(laterStart, true)
                          .Frames(At(10, 5, 0), 1, true);  // the second scene's name again
    const std::set<int> chosen = {1, 3, 4};
    for (const bool dateTimeNaming : {true, false}) {
        SCOPED_TRACE(dateTimeNaming ? "date naming" : "count naming");
        DvRun full(tape.bytes);
        SceneSplitterSettings settings = full.Settings();
        settings.dateTimeNaming = dateTimeNaming;
        settings.firstCounter = 7;
        full.Go(settings);
        const std::vector<SceneSummary> all = full.log.Scenes();
        ASSERT_EQ(all.size(), 5u);

        DvRun list(tape.bytes);
        settings.baseName = list.out + "/tape";
        settings.listOnly = true;
        list.Go(settings);
        EXPECT_EQ(list.result, SplitResult::Completed);
        EXPECT_EQ(test::ListFiles(list.out), std::vector<std::string>{});
        EXPECT_EQ(list.log.LinesStartingWith(kCreating), std::vector<std::string>{});

        DvRun some(tape.bytes);
        settings.baseName = some.out + "/tape";
        settings.listOnly = false;
        some.Go(settings, DvSceneSplitter::kReadSize, &chosen);
        EXPECT_EQ(some.counter, full.counter);

        std::vector<std::string> expectedFiles;
        for (const DvRun* run : {&list, &some}) {
            const std::vector<SceneSummary> scenes = run->log.Scenes();
            ASSERT_EQ(scenes.size(), all.size());
            for (std::size_t i = 0; i < all.size(); ++i) {
                const bool written = run == &some && chosen.count(static_cast<int>(i)) > 0;
                const std::string name = std::filesystem::path(all[i].path).filename();
                EXPECT_EQ(scenes[i].path, written ? run->out + "/" + name : "") << i;
                EXPECT_EQ(scenes[i].number, all[i].number);
                EXPECT_EQ(scenes[i].offset, all[i].offset);
                EXPECT_EQ(scenes[i].length, all[i].length);
                EXPECT_EQ(scenes[i].frames, all[i].frames);
                if (written) {
                    EXPECT_EQ(test::ReadAll(scenes[i].path), test::ReadAll(all[i].path)) << i;
                    expectedFiles.push_back(name);
                }
            }
        }
        std::sort(expectedFiles.begin(), expectedFiles.end());
        EXPECT_EQ(test::ListFiles(some.out), expectedFiles);
        if (!dateTimeNaming) {
            EXPECT_EQ(test::ListFiles(full.out),
                      (std::vector<std::string>{"tape-0007.dv", "tape-0008.dv", "tape-0009.dv",
                                                "tape-0010.dv", "tape-0011.dv"}));
            EXPECT_EQ(full.counter, 12);
        } else {
            EXPECT_EQ(test::ListFiles(full.out),
                      (std::vector<std::string>{
                          "tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-10_05_00.dv",
                          "tape-2007_06_15-10_09_00.dv", "tape-new-2007_06_15-10_05_00.dv",
                          "tape-noTime-0007.dv"}));
            EXPECT_EQ(full.counter, 8);
        }
    }
}

// A file already there keeps its bytes; the scene goes under the next free name.
TEST(DvSceneSplitter, NeverOverwritesAnExistingFile) {
    test::ScopedTimeZone tz("UTC0");
    const Tape tape = Tape().Frames(At(10, 0, 0), 2).Frames(At(11, 0, 0), 2, true);
    DvRun run(tape.bytes);
    const std::string taken = run.out + "/tape-2007_06_15-10_00_00.dv";
    const std::string takenToo = run.out + "/tape-new-2007_06_15-10_00_00.dv";
    test::WriteText(taken, "mine");
    test::WriteText(takenToo, "mine too");
    run.Go(run.Settings());
    EXPECT_EQ(run.result, SplitResult::Completed);
    EXPECT_EQ(test::ReadText(taken), "mine");
    EXPECT_EQ(test::ReadText(takenToo), "mine too");
    EXPECT_EQ(run.log.Lines(),
              (std::vector<std::string>{
                  kProcessing + run.input,
                  "WARNING: This file already exists and won't be overwritten: " + taken,
                  kCreating + run.out + "/tape-new2-2007_06_15-10_00_00.dv", kSceneChange,
                  kCreating + run.out + "/tape-new2-2007_06_15-11_00_00.dv"}));
    EXPECT_EQ(run.Joined(), tape.bytes);
}

class RecordingSync : public DiskSync {
  public:
    explicit RecordingSync(int fileError) : m_fileError(fileError) {}
    int SyncFile(int /*fd*/) override {
        ++files;
        return m_fileError;
    }
    int SyncFolder(const std::string& folder) override {
        folders.push_back(folder);
        return 0;
    }
    int files = 0;
    std::vector<std::string> folders;

  private:
    int m_fileError;
};

// A stop ends the job between frames: what was written stays, flushed; a file that got nothing
// goes again. Every scene file and the folder are flushed before the job ends, and a flush
// that fails fails the job.
TEST(DvSceneSplitter, StopsAndFlushesEveryFile) {
    test::ScopedTimeZone tz("UTC0");
    const Tape tape =
        Tape().Frames(At(10, 0, 0), 3).Frames(At(11, 0, 0), 3, true).Frames(At(12, 0, 0), 3, true);
    struct Case {
        const char* name;
        const char* stopAt;  // the scene file whose creation the stop follows; none: no stop
        int fileError;
        SplitResult result;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"to the end",
         nullptr,
         0,
         SplitResult::Completed,
         {"tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-11_00_00.dv",
          "tape-2007_06_15-12_00_00.dv"}},
        {"stopped at the second file",
         "tape-2007_06_15-11_00_00.dv",
         0,
         SplitResult::Stopped,
         {"tape-2007_06_15-10_00_00.dv"}},
        {"a flush fails",
         nullptr,
         EIO,
         SplitResult::WriteFailed,
         {"tape-2007_06_15-10_00_00.dv", "tape-2007_06_15-11_00_00.dv",
          "tape-2007_06_15-12_00_00.dv"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string input = dir.File("in.dv");
        test::WriteAll(input, tape.bytes);
        StopFlag stop{0};
        const std::string stopFile = c.stopAt != nullptr ? dir.File(c.stopAt) : "";
        test::StoppingLog log(stop, c.stopAt != nullptr ? kCreating + stopFile : "");
        RecordingSync sync(c.fileError);
        DvSceneSplitter job(input,
                            {.baseName = dir.File("tape"), .extension = "dv", .stopFlag = &stop});
        job.SetLog(&log);
        job.SetDiskSync(&sync);
        job.Run();
        EXPECT_EQ(job.Result(), c.result);
        std::vector<std::string> files = c.files;
        files.emplace_back("in.dv");
        std::sort(files.begin(), files.end());
        EXPECT_EQ(test::ListFiles(dir.Path()), files);
        EXPECT_EQ(sync.files, static_cast<int>(c.files.size()));
        EXPECT_EQ(sync.folders, std::vector<std::string>{dir.Path()});
        EXPECT_EQ(log.Scenes().size(), c.files.size());
        if (c.stopAt != nullptr) {
            EXPECT_EQ(log.Lines().back(),
                      "Removed the empty file (the job was stopped before anything went into "
                      "it): " +
                          stopFile);
            EXPECT_EQ(job.Counter(), 0);  // date names use no number
            EXPECT_EQ(test::ReadAll(dir.File(c.files[0])),
                      Bytes(tape.bytes.begin(), tape.bytes.begin() + tape.starts[1]));
        }
        if (c.fileError != 0) {
            EXPECT_EQ(log.LinesStartingWith("ERROR: ").size(), c.files.size());
            EXPECT_EQ(log.LinesStartingWith("ERROR: ")[0],
                      "ERROR: This file can't be written to the disk: " + dir.File(c.files[0]) +
                          " (" + std::strerror(EIO) + ")");
        }
    }
}

// A disk that fills up ends the job with an error naming the file; a DV file has no transport
// packets, so all that went onto the disk stays there, an exact copy, and is counted as written.
TEST(DvSceneSplitter, ShortWriteKeepsEveryByteWrittenAndNamesTheFile) {
    test::ScopedTimeZone tz("UTC0");
    const Tape tape = Tape().Frames(At(10, 0, 0), 4);
    const std::string name = "tape-2007_06_15-10_00_00.dv";
    // Rooms that end inside a frame and that end no whole 188-byte packet.
    for (const std::uint64_t room : {std::uint64_t{100'000}, std::uint64_t{300'007}}) {
        SCOPED_TRACE(room);
        ASSERT_LT(room, tape.bytes.size());
        test::TempDir dir;
        const std::string input = dir.File("in.dv");
        test::WriteAll(input, tape.bytes);
        test::CapturingLog log;
        DvSceneSplitter job(input, {.baseName = dir.File("tape"), .extension = "dv"});
        job.SetLog(&log);
        {
            test::FileSizeLimit limit(room);
            ASSERT_TRUE(limit.Ok());
            job.Run();
        }
        EXPECT_EQ(job.Result(), SplitResult::WriteFailed);
        EXPECT_EQ(log.LinesStartingWith("ERROR: "),
                  std::vector<std::string>{
                      "ERROR: This file can't be written in full (is the disk full?): " +
                      dir.File(name)});
        EXPECT_EQ(
            test::ReadAll(dir.File(name)),
            Bytes(tape.bytes.begin(), tape.bytes.begin() + static_cast<std::ptrdiff_t>(room)));
        EXPECT_EQ(log.Written(), room);
    }
}

// Inputs that are no DV tape write nothing and say why.
TEST(DvSceneSplitter, RefusesInputsWithoutDv) {
    test::TempDir dir;
    const std::string noDv = dir.File("noise.dv");
    test::WriteAll(noDv, Bytes(3 * dv::kFrameSize625, kGarbageByte));
    const std::string empty = dir.File("empty.dv");
    test::WriteAll(empty, Bytes{});
    const std::string missing = dir.File("missing.dv");
    struct Case {
        std::string input;
        SplitResult result;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {noDv,
         SplitResult::NoStream,
         {kProcessing + noDv, "ERROR: No DV frame was found in " + noDv}},
        {empty,
         SplitResult::NoStream,
         {kProcessing + empty, "ERROR: No DV frame was found in " + empty}},
        {missing, SplitResult::InputFailed, {"\r\nWARNING: Can't open file: " + missing}},
        {dir.Path(),
         SplitResult::InputFailed,
         {"\r\nERROR: This is not a regular file: " + dir.Path()}},
    };
    for (const Case& c : cases) {
        for (const std::size_t readSize : kReadSizes) {
            SCOPED_TRACE(c.input + ", reads of " + std::to_string(readSize));
            const std::string out = dir.File("out");
            std::filesystem::create_directory(out);
            test::CapturingLog log;
            DvSceneSplitter job(c.input, {.baseName = out + "/tape", .extension = "dv"});
            job.SetLog(&log);
            job.SetReadSize(readSize);
            job.Run();
            EXPECT_EQ(job.Result(), c.result);
            EXPECT_EQ(log.Lines(), c.lines);
            EXPECT_EQ(test::ListFiles(out), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace vornak
