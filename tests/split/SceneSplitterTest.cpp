// Plain-mode splitting through the public interface: byte-exact copies, file names, counters,
// stop requests, unusable inputs and outputs, and the live form fed from a fake capture queue.
#include "SceneSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "SceneFileName.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kUtc = "UTC0";
constexpr std::size_t kSmallPictureBytes = 3000;  // keeps tapes small and quick
constexpr std::size_t kTestBufferPackets = 600;   // small read buffer: several refills per tape
constexpr const char* kProcessing = "\r\nProcessing file: ";
constexpr const char* kCreating = "Creating new file: ";
constexpr const char* kSceneChange = "Scene change detected.";
constexpr const char* kExists = "WARNING: This file already exists and won't be overwritten: ";
constexpr const char* kCannotCreate = "ERROR: This file can't be created: ";

using test::At;

// Scenes whose dates lie far apart, so that every scene start is a cut.
tape::TapeWriter SceneTape(const std::vector<tape::DateTime>& starts, int gopsPerScene = 3,
                           tape::TapeOptions options = {}) {
    if (options.pictureBytes == 0) {
        options.pictureBytes = kSmallPictureBytes;
    }
    tape::TapeWriter writer(options);
    for (const auto& start : starts) {
        tape::SceneSpec scene;
        scene.start = start;
        scene.gops = gopsPerScene;
        writer.AddScene(scene);
    }
    return writer;
}

const std::vector<tape::DateTime> kThreeScenes = {
    At(2006, 5, 1, 14, 3, 59), At(2006, 5, 1, 15, 0, 0), At(2006, 5, 2, 9, 30, 15)};

// An input file, an output folder and a log, gone after the test.
class Workspace {
  public:
    Workspace() : m_out(m_dir.File("out")) { std::filesystem::create_directory(m_out); }

    const std::string& WriteInput(const Bytes& bytes) {
        m_inputBytes = bytes;
        test::WriteAll(m_input, bytes);
        return m_input;
    }
    const std::string& Input() const { return m_input; }
    const Bytes& InputBytes() const { return m_inputBytes; }
    const std::string& OutDir() const { return m_out; }
    std::string Base() const { return m_out + "/tape"; }
    std::string Out(const std::string& name) const { return m_out + "/" + name; }
    std::vector<std::string> Outputs() const { return test::ListFiles(m_out); }
    std::string Scratch(const std::string& name) const { return m_dir.File(name); }

  private:
    test::TempDir m_dir;
    std::string m_out;
    std::string m_input = m_dir.File("in.m2t");
    Bytes m_inputBytes;
};

struct Settings {
    std::int32_t counter = 0;
    bool dateNaming = false;
    std::string format = kDefaultDateFormat;
    std::size_t bufferBytes = 0;  // 0: the engine's own size
    StopFlag* stop = nullptr;
};

struct Outcome {
    std::int32_t counter = 0;
    bool failed = false;
    SplitResult result = SplitResult::Completed;
};

Outcome SplitFile(const std::string& input, const std::string& base, test::CapturingLog& log,
                  const Settings& s = {}) {
    SceneSplitter splitter(input, {.baseName = base,
                                   .extension = "m2t",
                                   .stopFlag = s.stop,
                                   .firstCounter = s.counter,
                                   .dateTimeNaming = s.dateNaming,
                                   .dateFormat = s.format});
    splitter.SetLog(&log);
    if (s.bufferBytes != 0) {
        splitter.SetReadBufferSize(s.bufferBytes);
    }
    splitter.Run();
    return {splitter.Counter(), splitter.Failed(), splitter.Result()};
}

Bytes Slice(const Bytes& bytes, std::uint64_t from, std::uint64_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// Each named file holds the input from its cut up to the next one; the last runs to the end.
void ExpectScenes(const Workspace& ws, const std::vector<std::string>& names,
                  const std::vector<std::uint64_t>& cuts) {
    ASSERT_EQ(names.size(), cuts.size());
    const Bytes& input = ws.InputBytes();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::uint64_t end = i + 1 < cuts.size() ? cuts[i + 1] : input.size();
        const Bytes got = test::ReadAll(ws.Out(names[i]));
        EXPECT_EQ(got.size(), end - cuts[i]) << names[i];
        EXPECT_TRUE(got == Slice(input, cuts[i], end)) << names[i] << " differs from the input";
    }
}

// The named file holds exactly `size` bytes of the input from `from` on.
void ExpectCopyFrom(const Workspace& ws, const std::string& name, std::uint64_t from,
                    std::uint64_t size) {
    const Bytes got = test::ReadAll(ws.Out(name));
    ASSERT_EQ(got.size(), size) << name;
    ASSERT_LE(from + size, ws.InputBytes().size());
    EXPECT_TRUE(got == Slice(ws.InputBytes(), from, from + size)) << name;
}

std::uint64_t TotalSize(const Workspace& ws, const std::vector<std::string>& names) {
    return test::Concat(ws.OutDir(), names).size();
}

std::string CountName(int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "tape-%04d.m2t", n);
    return buf;
}

// The tape generator's ground truth must itself be right for the byte comparisons to mean
// anything: a cut lies right after a video packet, and no video packet lies between it and the
// first video packet of its group.
void ExpectCutsFollowVideo(const Bytes& input, const tape::TapeWriter& writer) {
    for (const auto& gop : writer.Gops()) {
        ASSERT_LE(gop.cut, gop.firstVideoPacket);
        ASSERT_EQ(input[gop.firstVideoPacket], SYNC_BYTE);
        EXPECT_EQ(pid(&input[gop.firstVideoPacket]), PID_VIDEO);
        if (gop.cut >= PKT_SIZE) {
            EXPECT_EQ(pid(&input[gop.cut - PKT_SIZE]), PID_VIDEO);
        }
        for (std::uint64_t at = gop.cut; at < gop.firstVideoPacket; at += PKT_SIZE) {
            EXPECT_NE(pid(&input[at]), PID_VIDEO) << at;
        }
    }
}

TEST(SceneSplitter, PlainSplitIsByteExactFromTheFirstCut) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes);
    ws.WriteInput(writer.Build());
    ExpectCutsFollowVideo(ws.InputBytes(), writer);

    test::CapturingLog log;
    const Outcome out =
        SplitFile(ws.Input(), ws.Base(), log, {.bufferBytes = kTestBufferPackets * PKT_SIZE});

    const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
    EXPECT_EQ(ws.Outputs(), names);
    ExpectScenes(ws, names, writer.SceneCuts());
    const std::vector<std::string> expectedLines = {kProcessing + ws.Input(),
                                                    kCreating + ws.Out(names[0]),
                                                    kSceneChange,
                                                    kCreating + ws.Out(names[1]),
                                                    kSceneChange,
                                                    kCreating + ws.Out(names[2])};
    EXPECT_EQ(log.Lines(), expectedLines);
    EXPECT_EQ(log.Written(), TotalSize(ws, names));
    EXPECT_EQ(out.counter, 3);
    EXPECT_FALSE(out.failed);
}

TEST(SceneSplitter, DefaultBufferGivesTheSameFiles) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes);
    ws.WriteInput(writer.Build());
    test::CapturingLog log;
    SplitFile(ws.Input(), ws.Base(), log);
    const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
    EXPECT_EQ(ws.Outputs(), names);
    ExpectScenes(ws, names, writer.SceneCuts());
}

TEST(SceneSplitter, DateNamingUsesEachScenesFirstDate) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    // The second scene was recorded in 2026: its two-digit year must not become 1926.
    auto writer = SceneTape({At(2006, 5, 1, 14, 3, 59), At(2026, 7, 8, 9, 10, 11)});
    ws.WriteInput(writer.Build());
    for (const std::string& format : {std::string(kDefaultDateFormat), std::string()}) {
        Workspace out;
        out.WriteInput(ws.InputBytes());
        test::CapturingLog log;
        const Outcome o = SplitFile(out.Input(), out.Base(), log,
                                    {.counter = 5, .dateNaming = true, .format = format});
        const std::vector<std::string> names = {"tape-2006_05_01-14_03_59.m2t",
                                                "tape-2026_07_08-09_10_11.m2t"};
        EXPECT_EQ(out.Outputs(), names) << "pattern '" << format << "'";
        ExpectScenes(out, names, writer.SceneCuts());
        // Date names leave the counter alone.
        EXPECT_EQ(o.counter, 5);
    }
}

TEST(SceneSplitter, UserPatternsExpandCaseSensitively) {
    test::ScopedTimeZone tz(kUtc);
    auto writer = SceneTape({At(2006, 5, 1, 14, 3, 59)});
    const Bytes tapeBytes = writer.Build();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"_%D.%M.%Y %hh%m", "tape_01.05.2006 14h03.m2t"},
        {"_%y-%Y%S", "tape_%y-2006%S.m2t"},
        {"%%Y", "tape%2006.m2t"},
    };
    for (const auto& [format, name] : cases) {
        Workspace ws;
        ws.WriteInput(tapeBytes);
        test::CapturingLog log;
        SplitFile(ws.Input(), ws.Base(), log, {.dateNaming = true, .format = format});
        EXPECT_EQ(ws.Outputs(), std::vector<std::string>{name}) << format;
    }
}

TEST(SceneSplitter, CountNamingKeepsWideCounters) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0], kThreeScenes[1]});
    ws.WriteInput(writer.Build());
    test::CapturingLog log;
    const Outcome out = SplitFile(ws.Input(), ws.Base(), log, {.counter = 12345});
    const std::vector<std::string> names = {"tape-12345.m2t", "tape-12346.m2t"};
    EXPECT_EQ(ws.Outputs(), names);
    ExpectScenes(ws, names, writer.SceneCuts());
    EXPECT_EQ(out.counter, 12347);
}

TEST(SceneSplitter, CountNamingSkipsAnExistingFile) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes);
    ws.WriteInput(writer.Build());
    const Bytes keep = {'k', 'e', 'e', 'p'};
    test::WriteAll(ws.Out(CountName(1)), keep);

    test::CapturingLog log;
    const Outcome out = SplitFile(ws.Input(), ws.Base(), log);

    const std::vector<std::string> names = {CountName(0), CountName(2), CountName(3)};
    EXPECT_EQ(ws.Outputs(),
              (std::vector<std::string>{CountName(0), CountName(1), CountName(2), CountName(3)}));
    ExpectScenes(ws, names, writer.SceneCuts());
    EXPECT_EQ(test::ReadAll(ws.Out(CountName(1))), keep);
    EXPECT_EQ(log.LinesStartingWith("WARNING"),
              std::vector<std::string>{kExists + ws.Out(CountName(1))});
    EXPECT_EQ(out.counter, 4);
    EXPECT_FALSE(out.failed);
}

// A dangling link under the first name: a plain "does it open for reading" test misses it, and
// creating through it would make a file somewhere else. The name counts as taken.
TEST(SceneSplitter, DanglingLinkIsNeverWrittenThrough) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0]});
    ws.WriteInput(writer.Build());
    const std::string target = ws.Scratch("elsewhere.m2t");
    std::filesystem::create_symlink(target, ws.Out(CountName(0)));

    test::CapturingLog log;
    const Outcome out = SplitFile(ws.Input(), ws.Base(), log);

    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::is_symlink(ws.Out(CountName(0))));
    ExpectScenes(ws, {CountName(1)}, writer.SceneCuts());
    EXPECT_EQ(log.LinesStartingWith("WARNING"),
              std::vector<std::string>{kExists + ws.Out(CountName(0))});
    EXPECT_EQ(out.counter, 2);
}

TEST(SceneSplitter, DateNamingCollisionAddsNewToTheRestOfTheJob) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0], kThreeScenes[1]});
    ws.WriteInput(writer.Build());
    const Bytes keep = {'o', 'l', 'd'};
    test::WriteAll(ws.Out("tape-2006_05_01-14_03_59.m2t"), keep);

    test::CapturingLog log;
    SplitFile(ws.Input(), ws.Base(), log, {.dateNaming = true});

    const std::vector<std::string> names = {"tape-new-2006_05_01-14_03_59.m2t",
                                            "tape-new-2006_05_01-15_00_00.m2t"};
    ExpectScenes(ws, names, writer.SceneCuts());
    EXPECT_EQ(ws.Outputs().size(), 3u);
    EXPECT_EQ(test::ReadAll(ws.Out("tape-2006_05_01-14_03_59.m2t")), keep);
    const std::vector<std::string> expectedLines = {
        kProcessing + ws.Input(), kExists + ws.Out("tape-2006_05_01-14_03_59.m2t"),
        kCreating + ws.Out(names[0]), kSceneChange, kCreating + ws.Out(names[1])};
    EXPECT_EQ(log.Lines(), expectedLines);
}

TEST(SceneSplitter, PatternWithoutPlaceholderNumbersItsNewForms) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes);
    ws.WriteInput(writer.Build());
    test::CapturingLog log;
    SplitFile(ws.Input(), ws.Base(), log, {.dateNaming = true, .format = "_x"});
    ExpectScenes(ws, {"tape_x.m2t", "tape-new_x.m2t", "tape-new2_x.m2t"}, writer.SceneCuts());
    EXPECT_EQ(log.LinesStartingWith("WARNING"),
              (std::vector<std::string>{kExists + ws.Out("tape_x.m2t"),
                                        kExists + ws.Out("tape-new_x.m2t")}));
}

// The same tape split into one folder again and again: each run finds the next free form of
// the names, which stay short, and says once per clash that a name was taken.
TEST(SceneSplitter, RepeatedSplitsIntoOneFolderNumberTheirNames) {
    test::ScopedTimeZone tz(kUtc);
    auto writer = SceneTape({kThreeScenes[0], kThreeScenes[1]});
    const Bytes tapeBytes = writer.Build();
    struct Case {
        bool dateNaming;
        std::vector<std::vector<std::string>> runs;  // the files each run creates
    };
    const std::vector<Case> cases = {
        {true,
         {{"tape-2006_05_01-14_03_59.m2t", "tape-2006_05_01-15_00_00.m2t"},
          {"tape-new-2006_05_01-14_03_59.m2t", "tape-new-2006_05_01-15_00_00.m2t"},
          {"tape-new2-2006_05_01-14_03_59.m2t", "tape-new2-2006_05_01-15_00_00.m2t"},
          {"tape-new3-2006_05_01-14_03_59.m2t", "tape-new3-2006_05_01-15_00_00.m2t"}}},
        {false,
         {{CountName(0), CountName(1)},
          {CountName(2), CountName(3)},
          {CountName(4), CountName(5)},
          {CountName(6), CountName(7)}}},
    };
    for (const Case& c : cases) {
        Workspace ws;
        ws.WriteInput(tapeBytes);
        for (std::size_t run = 0; run < c.runs.size(); ++run) {
            SCOPED_TRACE(std::string(c.dateNaming ? "dates" : "counter") + ", run " +
                         std::to_string(run + 1));
            test::CapturingLog log;
            SplitFile(ws.Input(), ws.Base(), log, {.dateNaming = c.dateNaming});
            std::vector<std::string> created;
            for (const auto& name : c.runs[run]) {
                created.push_back(kCreating + ws.Out(name));
            }
            EXPECT_EQ(log.LinesStartingWith(kCreating), created);
            ExpectScenes(ws, c.runs[run], writer.SceneCuts());
            const std::vector<std::string> warnings =
                run == 0 ? std::vector<std::string>{}
                         : std::vector<std::string>{kExists + ws.Out(c.runs[0][0])};
            EXPECT_EQ(log.LinesStartingWith("WARNING"), warnings);
        }
    }
}

TEST(SceneSplitter, InputWithoutDatesGoesIntoOneFile) {
    tape::TapeOptions options;
    options.pictureBytes = kSmallPictureBytes;
    tape::TapeWriter writer(options);
    tape::SceneSpec scene;
    scene.noDates = true;
    scene.gops = 6;
    writer.AddScene(scene);
    const Bytes tapeBytes = writer.Build();

    {
        Workspace ws;
        ws.WriteInput(tapeBytes);
        test::CapturingLog log;
        const Outcome out = SplitFile(ws.Input(), ws.Base(), log, {.counter = 7});
        EXPECT_EQ(ws.Outputs(), std::vector<std::string>{CountName(7)});
        ExpectScenes(ws, {CountName(7)}, {0});
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{kProcessing + ws.Input(),
                                                         kCreating + ws.Out(CountName(7))}));
        EXPECT_EQ(out.counter, 8);
    }
    {
        // Named by date, a file opened before any date is known uses up a counter value.
        Workspace ws;
        ws.WriteInput(tapeBytes);
        test::CapturingLog log;
        const Outcome out =
            SplitFile(ws.Input(), ws.Base(), log, {.counter = 7, .dateNaming = true});
        EXPECT_EQ(ws.Outputs(), std::vector<std::string>{"tape-noTime-0007.m2t"});
        ExpectScenes(ws, {"tape-noTime-0007.m2t"}, {0});
        EXPECT_EQ(out.counter, 8);
    }
}

TEST(SceneSplitter, InputThatCannotBeOpenedIsReported) {
    Workspace ws;
    const std::string missing = ws.Scratch("no-such-tape.m2t");
    test::CapturingLog log;
    const Outcome out = SplitFile(missing, ws.Base(), log, {.counter = 3});
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"\r\nWARNING: Can't open file: " + missing});
    EXPECT_TRUE(ws.Outputs().empty());
    EXPECT_EQ(out.counter, 3);
    EXPECT_TRUE(out.failed);

    // A second job on a good file in the same folder runs as usual.
    auto writer = SceneTape({kThreeScenes[0]});
    ws.WriteInput(writer.Build());
    test::CapturingLog next;
    const Outcome second = SplitFile(ws.Input(), ws.Base(), next, {.counter = out.counter});
    EXPECT_EQ(ws.Outputs(), std::vector<std::string>{CountName(3)});
    EXPECT_FALSE(second.failed);
}

TEST(SceneSplitter, MissingOutputFolderIsAnError) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0]});
    ws.WriteInput(writer.Build());
    const std::string folder = ws.Scratch("missing");
    test::CapturingLog log;
    const Outcome out = SplitFile(ws.Input(), folder + "/tape", log);

    // Said once, with the system's reason; the job does not try again at every picture group.
    EXPECT_EQ(log.LinesStartingWith("ERROR: "),
              std::vector<std::string>{kCannotCreate + folder +
                                       "/tape-0000.m2t (No such file or directory)"});
    EXPECT_TRUE(log.LinesStartingWith(kCreating).empty());
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(log.Written(), 0u);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.result, SplitResult::CreateFailed);
}

// Reading this process's own memory from address 0 opens fine and then fails with an I/O error:
// a read error that is no end of file. The job must end with an error line naming the input
// instead of retrying the read for ever.
TEST(SceneSplitter, InputThatFailsToReadEndsTheJob) {
    const std::string failing = "/proc/self/mem";
    if (!std::filesystem::exists(failing)) {
        GTEST_SKIP() << "no " << failing << " here";
    }
    Workspace ws;
    test::CapturingLog log;
    const Outcome out = SplitFile(failing, ws.Base(), log);
    EXPECT_TRUE(ws.Outputs().empty());
    EXPECT_EQ(out.result, SplitResult::InputFailed);
    const auto errors = log.LinesStartingWith("ERROR: ");
    ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(log.Lines());
    EXPECT_NE(errors.front().find(failing), std::string::npos) << errors.front();
}

// The room left is no whole number of packets: the file is cut back to its last whole one, also
// when the stream begins with a few bytes that are no packet.
TEST(SceneSplitter, ShortWriteIsAnErrorNamingTheFileWhichEndsOnAWholePacket) {
    test::ScopedTimeZone tz(kUtc);
    constexpr std::uint64_t kRoomOnDisk = 100'000;
    for (const std::size_t stray : {std::size_t{0}, std::size_t{5}}) {
        SCOPED_TRACE(std::to_string(stray) + " stray bytes");
        tape::TapeOptions options;
        options.strayBytesAtStart = stray;
        Workspace ws;
        auto writer = SceneTape({kThreeScenes[0]}, 6, options);
        ws.WriteInput(writer.Build());
        ASSERT_GT(ws.InputBytes().size(), 2 * kRoomOnDisk);
        ASSERT_NE((kRoomOnDisk - stray) % PKT_SIZE, 0u);

        test::CapturingLog log;
        Outcome out;
        {
            test::FileSizeLimit limit(kRoomOnDisk);
            ASSERT_TRUE(limit.Ok());
            out = SplitFile(ws.Input(), ws.Base(), log,
                            {.bufferBytes = kTestBufferPackets * PKT_SIZE});
        }
        EXPECT_EQ(out.result, SplitResult::WriteFailed);
        const auto errors = log.LinesStartingWith("ERROR: ");
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors.front().find(ws.Out(CountName(0))), std::string::npos) << errors.front();
        // What stays on the disk is an exact copy of whole packets, and just that was reported
        // written.
        const std::uint64_t size = test::ReadAll(ws.Out(CountName(0))).size();
        ASSERT_GT(size, stray);
        EXPECT_EQ((size - stray) % PKT_SIZE, 0u) << size;
        ExpectCopyFrom(ws, CountName(0), 0, size);
        EXPECT_EQ(log.Written(), size);
    }
}

// Sets the stop byte from inside the job, at a chosen report.
class StoppingLog : public test::CapturingLog {
  public:
    enum class When { FirstWrite, SecondFile };
    StoppingLog(StopFlag& stop, When when) : m_stop(stop), m_when(when) {}

    void AddLog(LogSeverity severity, const std::string& line) override {
        CapturingLog::AddLog(severity, line);
        if (m_when == When::SecondFile && line.rfind(kCreating, 0) == 0 && ++m_files == 2) {
            m_stop = 1;
        }
    }
    void AddWritten(std::uint32_t bytes) override {
        CapturingLog::AddWritten(bytes);
        if (m_when == When::FirstWrite && m_firstWrite == 0) {
            m_firstWrite = bytes;
            m_stop = 1;
        }
    }
    std::uint32_t FirstWrite() const { return m_firstWrite; }

  private:
    StopFlag& m_stop;
    When m_when;
    int m_files = 0;
    std::uint32_t m_firstWrite = 0;
};

TEST(SceneSplitter, StopAfterTheFirstWriteKeepsWhatWasWritten) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes, 8);
    ws.WriteInput(writer.Build());
    const auto cuts = writer.SceneCuts();
    ASSERT_GT(cuts[1] - cuts[0], 2 * kTestBufferPackets * PKT_SIZE);

    StopFlag stop{0};
    StoppingLog log(stop, StoppingLog::When::FirstWrite);
    const Outcome out = SplitFile(ws.Input(), ws.Base(), log,
                                  {.bufferBytes = kTestBufferPackets * PKT_SIZE, .stop = &stop});

    ASSERT_GT(log.FirstWrite(), 0u);
    EXPECT_EQ(ws.Outputs(), std::vector<std::string>{CountName(0)});
    EXPECT_EQ(log.Written(), log.FirstWrite());
    ExpectCopyFrom(ws, CountName(0), cuts[0], log.FirstWrite());
    EXPECT_TRUE(log.LinesStartingWith(kSceneChange).empty());
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(out.result, SplitResult::Stopped);
}

TEST(SceneSplitter, StopAtTheSecondFileCreatesNoThird) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes, 8);
    ws.WriteInput(writer.Build());
    const auto cuts = writer.SceneCuts();

    StopFlag stop{0};
    StoppingLog log(stop, StoppingLog::When::SecondFile);
    const Outcome out = SplitFile(ws.Input(), ws.Base(), log,
                                  {.bufferBytes = kTestBufferPackets * PKT_SIZE, .stop = &stop});

    // The first scene was finished by its cut; the second's file, which nothing went into
    // before the stop, is removed again and its number handed back.
    EXPECT_EQ(ws.Outputs(), std::vector<std::string>{CountName(0)});
    ExpectCopyFrom(ws, CountName(0), cuts[0], cuts[1] - cuts[0]);
    EXPECT_EQ(log.LinesStartingWith(kCreating).size(), 2u);
    EXPECT_EQ(log.Lines().back(),
              "Removed the empty file (the job was stopped before anything went into it): " +
                  ws.Out(CountName(1)));
    EXPECT_EQ(log.Written(), TotalSize(ws, ws.Outputs()));
    EXPECT_EQ(out.counter, 1);
}

TEST(SceneSplitter, StrayBytesAtTheStartAreSkippedAndKept) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options;
    options.strayBytesAtStart = 5;
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0], kThreeScenes[1]}, 3, options);
    ws.WriteInput(writer.Build());
    ASSERT_NE(ws.InputBytes()[0], SYNC_BYTE);
    test::CapturingLog log;
    SplitFile(ws.Input(), ws.Base(), log);
    // Nothing video lies before the first group, so its cut is the start of the input.
    const auto cuts = writer.SceneCuts();
    EXPECT_EQ(cuts[0], 0u);
    EXPECT_EQ(ws.Outputs(), (std::vector<std::string>{CountName(0), CountName(1)}));
    ExpectScenes(ws, {CountName(0), CountName(1)}, cuts);
}

TEST(SceneSplitter, PartialLastPacketIsCarriedToTheEnd) {
    test::ScopedTimeZone tz(kUtc);
    constexpr std::size_t kPartial = 100;
    tape::TapeOptions options;
    options.partialLastPacket = kPartial;
    Workspace ws;
    auto writer = SceneTape({kThreeScenes[0], kThreeScenes[1]}, 3, options);
    ws.WriteInput(writer.Build());
    ASSERT_EQ(ws.InputBytes().size() % PKT_SIZE, kPartial);
    for (const std::size_t buffer : {std::size_t{0}, kTestBufferPackets * PKT_SIZE}) {
        Workspace out;
        out.WriteInput(ws.InputBytes());
        test::CapturingLog log;
        SplitFile(out.Input(), out.Base(), log, {.bufferBytes = buffer});
        ExpectScenes(out, {CountName(0), CountName(1)}, writer.SceneCuts());
        EXPECT_EQ(log.Written(), ws.InputBytes().size() - writer.SceneCuts()[0]);
    }
}

// Hands out prepared batches of chunks, one batch per call, then null.
class FakeLiveSource : public LiveSource {
  public:
    // `batches` lists the chunks of each batch oldest first.
    explicit FakeLiveSource(std::vector<std::vector<Bytes>> batches)
        : m_batches(std::move(batches)) {}

    std::unique_ptr<ChunkQueue> TakeChunks() override {
        ++m_calls;
        if (m_next == m_batches.size()) {
            return nullptr;
        }
        auto queue = std::make_unique<ChunkQueue>();
        for (const Bytes& data : m_batches[m_next]) {
            auto chunk = std::make_unique<SampleChunk>();
            chunk->pData = std::make_unique<std::uint8_t[]>(data.size());
            std::copy(data.begin(), data.end(), chunk->pData.get());
            chunk->cbData = static_cast<std::int32_t>(data.size());
            queue->push_front(std::move(chunk));  // newest at the front
        }
        ++m_next;
        return queue;
    }
    int Calls() const { return m_calls; }
    bool Drained() const { return m_next == m_batches.size(); }

  private:
    std::vector<std::vector<Bytes>> m_batches;
    std::size_t m_next = 0;
    int m_calls = 0;
};

// Cuts `bytes` into chunks of whole packets and groups them into batches.
std::vector<std::vector<Bytes>> Batches(const Bytes& bytes, std::size_t chunkPackets,
                                        std::size_t chunksPerBatch) {
    std::vector<std::vector<Bytes>> batches;
    for (std::size_t at = 0; at < bytes.size();) {
        std::vector<Bytes> batch;
        for (std::size_t c = 0; c < chunksPerBatch && at < bytes.size(); ++c) {
            const std::size_t end = std::min(bytes.size(), at + chunkPackets * PKT_SIZE);
            batch.push_back(Slice(bytes, at, end));
            at = end;
        }
        batches.push_back(std::move(batch));
    }
    return batches;
}

Outcome SplitLive(LiveSource& source, const std::string& base, test::CapturingLog& log,
                  std::size_t bufferBytes, std::int32_t counter = 0, bool dateNaming = false) {
    SceneSplitter splitter(&source, {.baseName = base,
                                     .extension = "m2t",
                                     .firstCounter = counter,
                                     .dateTimeNaming = dateNaming});
    splitter.SetLog(&log);
    splitter.SetReadBufferSize(bufferBytes);
    splitter.Run();
    return {splitter.Counter(), splitter.Failed(), splitter.Result()};
}

TEST(SceneSplitter, LiveFormSplitsLikeTheFileForm) {
    test::ScopedTimeZone tz(kUtc);
    Workspace ws;
    auto writer = SceneTape(kThreeScenes, 4);
    ws.WriteInput(writer.Build());
    // Chunks that do not fit the space left in the buffer wait for the next refill.
    constexpr std::size_t kBufferPackets = 700;
    for (const std::size_t chunkPackets : {std::size_t{1}, std::size_t{37}, std::size_t{450}}) {
        Workspace out;
        out.WriteInput(ws.InputBytes());
        FakeLiveSource source(Batches(ws.InputBytes(), chunkPackets, 3));
        test::CapturingLog log;
        const Outcome o = SplitLive(source, out.Base(), log, kBufferPackets * PKT_SIZE);
        EXPECT_TRUE(source.Drained()) << chunkPackets;
        const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
        EXPECT_EQ(out.Outputs(), names) << chunkPackets;
        ExpectScenes(out, names, writer.SceneCuts());
        EXPECT_EQ(log.LinesStartingWith(kProcessing).size(), 0u);
        EXPECT_EQ(o.counter, 3);
        EXPECT_FALSE(o.failed);
    }
}

TEST(SceneSplitter, LiveFormThatEndsAtOnceCreatesNothing) {
    Workspace ws;
    FakeLiveSource source({});
    test::CapturingLog log;
    const Outcome out = SplitLive(source, ws.Base(), log, kTestBufferPackets * PKT_SIZE);
    EXPECT_EQ(source.Calls(), 1);
    EXPECT_TRUE(ws.Outputs().empty());
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(out.counter, 0);
    EXPECT_FALSE(out.failed);
}

// The files a job created, in the order it created them.
std::vector<std::string> CreatedFiles(const test::CapturingLog& log) {
    std::vector<std::string> paths;
    for (const auto& line : log.LinesStartingWith(kCreating)) {
        paths.push_back(line.substr(std::string(kCreating).size()));
    }
    return paths;
}

Bytes JoinFiles(const std::vector<std::string>& paths) {
    Bytes joined;
    for (const auto& path : paths) {
        const Bytes part = test::ReadAll(path);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// A capture may begin, and the stream after a break (the camcorder playing DV for a while)
// does begin, inside a picture group. What lies before the job's first whole group goes into a
// fragment file, with a warning; every scene file begins at a group; the files, joined in the
// order they were made, are the job's input.
TEST(SceneSplitter, JobStartingInsideAGroupKeepsThatPartInAFragment) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options;
    options.pictureBytes = kSmallPictureBytes;
    tape::TapeWriter writer(options);
    for (const auto& start : kThreeScenes) {
        tape::SceneSpec scene;
        scene.start = start;
        scene.gops = 4;
        scene.closedFirstGop = true;  // as a camcorder starts its recordings
        writer.AddScene(scene);
    }
    const Bytes input = writer.Build();
    const auto& gops = writer.Gops();
    constexpr std::size_t kBreakPackets = 3;    // into the group when the DV begins
    constexpr std::size_t kResumePackets = 10;  // into the group when the HDV comes back
    std::vector<std::uint64_t> groupCuts;
    for (const auto& gop : gops) {
        groupCuts.push_back(gop.cut);
    }
    constexpr std::size_t kBufferPackets = 700;

    for (const bool live : {false, true}) {
        for (const bool dateNaming : {false, true}) {
            // Group 1 goes on with the recording of group 2; group 3 is followed by the first,
            // closed group of the next recording.
            for (const std::size_t group : {std::size_t{1}, std::size_t{3}}) {
                SCOPED_TRACE(std::string(live ? "live" : "file") + (dateNaming ? ", dates" : "") +
                             ", inside group " + std::to_string(group));
                const std::uint64_t breakAt =
                    gops[group].firstVideoPacket + kBreakPackets * PKT_SIZE;
                const std::uint64_t resumeAt =
                    gops[group].firstVideoPacket + kResumePackets * PKT_SIZE;
                ASSERT_LT(resumeAt, gops[group + 1].cut);
                Workspace ws;
                std::int32_t counter = 0;
                test::CapturingLog log;
                if (live) {
                    // The job before the break ends where the DV began.
                    FakeLiveSource before(Batches(Slice(input, 0, breakAt), 37, 3));
                    test::CapturingLog first;
                    counter = SplitLive(before, ws.Base(), first, kBufferPackets * PKT_SIZE, 0,
                                        dateNaming)
                                  .counter;
                    EXPECT_TRUE(JoinFiles(CreatedFiles(first)) == Slice(input, 0, breakAt));
                    FakeLiveSource after(Batches(Slice(input, resumeAt, input.size()), 37, 3));
                    SplitLive(after, ws.Base(), log, kBufferPackets * PKT_SIZE, counter,
                              dateNaming);
                } else {
                    ws.WriteInput(Slice(input, resumeAt, input.size()));
                    SplitFile(
                        ws.Input(), ws.Base(), log,
                        {.dateNaming = dateNaming, .bufferBytes = kTestBufferPackets * PKT_SIZE});
                }

                const std::vector<std::string> files = CreatedFiles(log);
                ASSERT_GE(files.size(), 2u);
                char fragment[32];
                std::snprintf(fragment, sizeof fragment, "tape-%04d-fragment.m2t",
                              static_cast<int>(counter));
                EXPECT_EQ(files.front(), ws.Out(fragment));
                const std::uint64_t fragmentSize = gops[group + 1].cut - resumeAt;
                EXPECT_EQ(log.LinesStartingWith("WARNING"),
                          std::vector<std::string>{
                              "WARNING: The stream begins inside a picture group: its first " +
                              std::to_string(fragmentSize) + " bytes are kept apart in " +
                              files.front()});
                ASSERT_FALSE(log.Scenes().empty());
                EXPECT_TRUE(log.Scenes().front().fragment);
                std::uint64_t at = resumeAt;
                for (std::size_t i = 0; i < files.size(); ++i) {
                    const Bytes got = test::ReadAll(files[i]);
                    ASSERT_LE(at + got.size(), input.size()) << files[i];
                    EXPECT_TRUE(got == Slice(input, at, at + got.size())) << files[i];
                    if (i > 0) {
                        EXPECT_NE(std::find(groupCuts.begin(), groupCuts.end(), at),
                                  groupCuts.end())
                            << files[i] << " begins at " << at << ", at no picture group";
                    }
                    at += got.size();
                }
                EXPECT_EQ(at, input.size());
                EXPECT_EQ(test::ReadAll(files.front()).size(), fragmentSize);
            }
        }
    }
}

// The severity comes with each line, and the sinks go by it alone (--quiet, the boxes' icons):
// each kind of report the job makes arrives with the severity its words say, in full.
TEST(SceneSplitter, ReportsEachLineWithItsSeverity) {
    test::ScopedTimeZone tz(kUtc);
    using Entries = std::vector<test::SeverityLine>;
    static constexpr LogSeverity kInfo = LogSeverity::Info;
    static constexpr LogSeverity kWarning = LogSeverity::Warning;
    static constexpr LogSeverity kError = LogSeverity::Error;
    struct Case {
        const char* what;
        // Prepares the workspace; returns the input to split.
        std::function<std::string(Workspace&)> prepare;
        std::function<Entries(const Workspace&, const std::string& input)> expected;
    };
    const std::vector<Case> cases = {
        {"an input that cannot be opened", [](Workspace& ws) { return ws.Scratch("missing.m2t"); },
         [](const Workspace&, const std::string& in) {
             return Entries{{kWarning, "\r\nWARNING: Can't open file: " + in}};
         }},
        {"a folder as input", [](Workspace& ws) { return ws.OutDir(); },
         [](const Workspace&, const std::string& in) {
             return Entries{{kError, "\r\nERROR: This is not a regular file: " + in}};
         }},
        {"an input without a stream",
         [](Workspace& ws) { return ws.WriteInput(Bytes(PKT_SIZE, 0)); },
         [](const Workspace&, const std::string& in) {
             return Entries{
                 {kInfo, kProcessing + in},
                 {kError, "ERROR: This is neither an MPEG-2 transport stream nor DV: " + in}};
         }},
        {"a scene file that is there already",
         [](Workspace& ws) {
             test::WriteAll(ws.Out(CountName(0)), Bytes{1});
             return ws.WriteInput(SceneTape({kThreeScenes[0]}).Build());
         },
         [](const Workspace& ws, const std::string& in) {
             return Entries{{kInfo, kProcessing + in},
                            {kWarning, kExists + ws.Out(CountName(0))},
                            {kInfo, kCreating + ws.Out(CountName(1))}};
         }},
        {"an output folder that is gone",
         [](Workspace& ws) {
             const std::string& in = ws.WriteInput(SceneTape({kThreeScenes[0]}).Build());
             std::filesystem::remove(ws.OutDir());
             return in;
         },
         [](const Workspace& ws, const std::string& in) {
             return Entries{
                 {kInfo, kProcessing + in},
                 {kError, kCannotCreate + ws.Out(CountName(0)) + " (No such file or directory)"}};
         }},
    };
    for (const Case& c : cases) {
        Workspace ws;
        const std::string input = c.prepare(ws);
        test::CapturingLog log;
        SplitFile(input, ws.Base(), log);
        EXPECT_EQ(log.Entries(), c.expected(ws, input)) << c.what;
    }
}

}  // namespace
}  // namespace vornak
