// A raw DV file dated frame by frame: every copy of the date, time, timecode and start flag,
// empty slots filled, nothing else changed, a cut that the scene rule finds, files refused,
// and a real ffmpeg clip.
#include "DvDateWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "DvFrameParser.h"
#include "DvFrameReader.h"
#include "DvSceneRule.h"
#include "DvTestFrames.h"
#include "TapeOptionsParser.h"
#include "TestSupport.h"

namespace vornak::tape {
namespace {

using dv::test::Bytes;

const DateTime kStart{2006, 12, 31, 23, 59, 58};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Frame {
    std::uint64_t offset;
    dv::DvFrameInfo info;
};

// The whole frames of `stream`, read back.
std::vector<Frame> ReadFrames(const Bytes& stream) {
    dv::DvFrameReader reader;
    dv::DvPiece piece;
    std::vector<Frame> frames;
    while (reader.Next(std::span(stream).subspan(reader.Position()), true, piece)) {
        if (piece.kind == dv::DvPieceKind::kFrame) {
            Frame f{piece.offset, {}};
            EXPECT_TRUE(dv::DvFrameParser::Parse(piece.bytes, f.info));
            frames.push_back(f);
        }
    }
    return frames;
}

dv::DvRecorded Expected(std::int64_t seconds) {
    const DateTime d = AddSeconds(kStart, seconds);
    return {{d.year, d.month, d.day}, {d.hour, d.minute, d.second, -1}};
}

void ExpectRecorded(const dv::DvFrameInfo& info, std::int64_t seconds, const std::string& where) {
    ASSERT_TRUE(info.recorded) << where;
    EXPECT_EQ(info.recorded->date, Expected(seconds).date) << where;
    EXPECT_EQ(info.recorded->time, Expected(seconds).time) << where;
}

// Every copy of the date in a frame, read on its own: the vote must not hide a copy missed.
void ExpectEveryCopy(const Bytes& stream, std::uint64_t offset, std::int64_t seconds,
                     const std::string& where) {
    using dv::test::Copy;
    for (const Copy copy : {Copy::kVaux, Copy::kSubcode, Copy::kAudio}) {
        const auto at = static_cast<std::size_t>(offset) + dv::test::DateCopyAt(copy);
        const auto date = dv::DecodeRecordingDate(dv::DvPack(stream.data() + at, dv::kPackSize));
        const auto timeAt = static_cast<std::size_t>(offset) + dv::test::TimeCopyAt(copy);
        const auto time =
            dv::DecodeRecordingTime(dv::DvPack(stream.data() + timeAt, dv::kPackSize));
        ASSERT_TRUE(date && time) << where << ", copy " << static_cast<int>(copy);
        EXPECT_EQ(*date, Expected(seconds).date) << where;
        EXPECT_EQ(time->seconds, Expected(seconds).time.seconds) << where;
    }
}

TEST(DvDateWriter, DatesEveryCopyOfEveryFrameAndChangesNothingElse) {
    struct Case {
        const char* name;
        dv::DvSystem system;
        bool inputDated;  // else every pack slot of the date is empty
        int framesPerSecond;
    };
    const std::vector<Case> cases = {
        {"625/50 with dates to replace", dv::DvSystem::k625_50, true, 25},
        {"625/50 without packs", dv::DvSystem::k625_50, false, 25},
        {"525/60 without packs", dv::DvSystem::k525_60, false, 30},
    };
    for (const auto& c : cases) {
        dv::test::FrameSetup setup;
        setup.system = c.system;
        setup.dated = c.inputDated;
        setup.timecode = c.inputDated;
        setup.recordingStart = true;  // to be cleared after the first frame
        setup.stamp = dv::test::Stamp{70, 1, 1, 0, 0, 0};
        const Bytes frame = dv::test::MakeFrame(setup);
        constexpr int kFrames = 62;
        const Bytes garbage(333, 0x5A);
        Bytes input = garbage;
        for (int i = 0; i < kFrames; ++i) {
            input = input + frame;
        }
        input = input + garbage + Bytes(frame.begin(), frame.begin() + 20000);

        vornak::test::TempDir dir;
        vornak::test::WriteAll(dir.File("in.dv"), input);
        DvDateWriter writer({kStart});
        ASSERT_TRUE(writer.WriteFile(dir.File("in.dv"), dir.File("out.dv"))) << writer.Error();
        EXPECT_EQ(writer.Frames(), static_cast<std::uint64_t>(kFrames)) << c.name;
        EXPECT_EQ(writer.OtherBytes(), 2 * garbage.size() + 20000) << c.name;
        EXPECT_EQ(writer.Scenes(), 1);
        const Bytes output = vornak::test::ReadAll(dir.File("out.dv"));
        ASSERT_EQ(output.size(), input.size()) << c.name;

        const std::vector<Frame> frames = ReadFrames(output);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(kFrames)) << c.name;
        std::size_t changed = 0;
        for (int i = 0; i < kFrames; ++i) {
            const std::string where = std::string(c.name) + ", frame " + std::to_string(i);
            const dv::DvFrameInfo& info = frames[static_cast<std::size_t>(i)].info;
            // 525/60 runs at 30000/1001 frames a second: frame 30 is still in second 1.
            const std::int64_t second =
                c.framesPerSecond == 25 ? i / 25 : static_cast<std::int64_t>(i) * 1001 / 30000;
            ExpectRecorded(info, second, where);
            ExpectEveryCopy(output, frames[static_cast<std::size_t>(i)].offset, second, where);
            EXPECT_EQ(info.recordingStart, i == 0) << where;
            ASSERT_TRUE(info.timecode) << where;
            EXPECT_EQ(info.timecode->seconds * c.framesPerSecond + info.timecode->frames, i)
                << where;
            EXPECT_EQ(info.timecode->dropFrame, c.framesPerSecond == 30) << where;
        }
        for (std::size_t i = 0; i < input.size(); ++i) {
            changed += input[i] != output[i];
        }
        // Only pack bytes moved: none in the garbage or the cut-short frame at either end.
        EXPECT_TRUE(std::equal(input.begin(), input.begin() + 333, output.begin())) << c.name;
        EXPECT_TRUE(std::equal(input.end() - 20333, input.end(), output.end() - 20333)) << c.name;
        EXPECT_LT(changed, static_cast<std::size_t>(kFrames) * 2000) << c.name;
    }
}

// 525/60 runs at 30000/1001 frames a second: its timecode drops frame numbers to keep up with
// the clock, and its recording time falls a second behind the frame count every 1000 seconds.
TEST(DvDateWriter, CountsNtscTimeAndDropFrameTimecodeAsACamcorderDoes) {
    dv::test::FrameSetup setup;
    setup.system = dv::DvSystem::k525_60;
    Bytes frame = dv::test::MakeFrame(setup);
    DvDateWriter writer({kStart});
    struct Case {
        int frame;
        dv::DvTimecode timecode;
        std::int64_t seconds;  // recording time, from the start
    };
    // Frames 0 and 1 of each minute are skipped, but not in minutes 0, 10, 20...
    const std::vector<Case> cases = {
        {1799, {0, 0, 59, 29, true}, 60},    {1800, {0, 1, 0, 2, true}, 60},
        {3597, {0, 1, 59, 29, true}, 120},   {3598, {0, 2, 0, 2, true}, 120},
        {17981, {0, 9, 59, 29, true}, 599},  {17982, {0, 10, 0, 0, true}, 599},
        {17983, {0, 10, 0, 1, true}, 600},   {19781, {0, 10, 59, 29, true}, 660},
        {19782, {0, 11, 0, 2, true}, 660},   {29999, {0, 16, 40, 29, true}, 1000},
        {30000, {0, 16, 41, 0, true}, 1001},
    };
    int stamped = 0;
    for (const auto& c : cases) {
        while (stamped <= c.frame) {
            writer.StampFrame(frame, setup.system);
            ++stamped;
        }
        dv::DvFrameInfo info;
        ASSERT_TRUE(dv::DvFrameParser::Parse(frame, info));
        ASSERT_TRUE(info.timecode);
        EXPECT_EQ(*info.timecode, c.timecode) << "frame " << c.frame;
        ExpectRecorded(info, c.seconds, "frame " + std::to_string(c.frame));
    }
}

// Frames flagged as recording starts and dated an hour on from the cut: the scene rule cuts
// there and nowhere else.
TEST(DvDateWriter, CutAfterMakesASecondSceneTheRuleFinds) {
    const Bytes frame = dv::test::MakeFrame();
    Bytes input;
    for (int i = 0; i < 100; ++i) {
        input = input + frame;
    }
    vornak::test::TempDir dir;
    vornak::test::WriteAll(dir.File("in.dv"), input);
    DateInsertOptions options{kStart};
    options.cut = true;
    options.cutAfterTicks = 90000 * 3 / 2;  // 1.5 s: frame 38 is the first at or after it
    DvDateWriter writer(options);
    ASSERT_TRUE(writer.WriteFile(dir.File("in.dv"), dir.File("out.dv"))) << writer.Error();
    EXPECT_EQ(writer.Scenes(), 2);

    const std::vector<Frame> frames = ReadFrames(vornak::test::ReadAll(dir.File("out.dv")));
    ASSERT_EQ(frames.size(), 100u);
    dv::DvSceneRule rule;
    std::vector<int> cuts;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (rule.Next(frames[i].info) != dv::DvCut::kNone) {
            cuts.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(frames[i].info.recordingStart, i == 0 || i == 38) << i;
    }
    EXPECT_EQ(cuts, (std::vector<int>{0, 38}));
    ExpectRecorded(frames[37].info, 1, "before the cut");
    ExpectRecorded(frames[38].info, 3601, "at the cut");
}

TEST(DvDateWriter, RefusesToOverwriteAndInputWithoutFrames) {
    vornak::test::TempDir dir;
    const Bytes frame = dv::test::MakeFrame();
    vornak::test::WriteAll(dir.File("in.dv"), frame);
    vornak::test::WriteAll(dir.File("taken.dv"), {1, 2, 3});
    vornak::test::WriteAll(dir.File("noise.dv"), Bytes(200000, 0x00));

    DvDateWriter taken({kStart});
    EXPECT_FALSE(taken.WriteFile(dir.File("in.dv"), dir.File("taken.dv")));
    EXPECT_EQ(taken.Error(), dir.File("taken.dv") + " already exists; not overwritten");
    EXPECT_EQ(vornak::test::ReadAll(dir.File("taken.dv")), (Bytes{1, 2, 3}));

    DvDateWriter noise({kStart});
    EXPECT_FALSE(noise.WriteFile(dir.File("noise.dv"), dir.File("out.dv")));
    EXPECT_EQ(noise.Error(), dir.File("noise.dv") + " holds no DV frame: nothing to date");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.dv")));

    DvDateWriter missing({kStart});
    EXPECT_FALSE(missing.WriteFile(dir.File("none.dv"), dir.File("out.dv")));
    EXPECT_EQ(missing.Error().rfind("cannot open " + dir.File("none.dv") + ": ", 0), 0u)
        << missing.Error();
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.dv")));
}

// A real clip as FFmpeg writes it (its own "no date" in every copy), dated with a cut.
TEST(DvDateWriter, DatesAClipFfmpegWrote) {
    if (!dv::test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    vornak::test::TempDir dir;
    ASSERT_EQ(dv::test::WriteFfmpegDv(dir.File("clip.dv"), 2, "4:3", "1970-01-01T00:00:00Z"), "");
    const Bytes clip = vornak::test::ReadAll(dir.File("clip.dv"));
    for (const Frame& f : ReadFrames(clip)) {
        EXPECT_FALSE(f.info.recorded) << "FFmpeg's none is no date, at byte " << f.offset;
    }
    DateInsertOptions options{kStart};
    options.cut = true;
    options.cutAfterTicks = 90000;
    DvDateWriter writer(options);
    ASSERT_TRUE(writer.WriteFile(dir.File("clip.dv"), dir.File("dated.dv"))) << writer.Error();
    const Bytes dated = vornak::test::ReadAll(dir.File("dated.dv"));
    const std::vector<Frame> frames = ReadFrames(dated);
    ASSERT_EQ(frames.size(), 50u);
    dv::DvSceneRule rule;
    std::vector<int> cuts;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto second = static_cast<std::int64_t>(i / 25) + (i >= 25 ? 3600 : 0);
        ExpectRecorded(frames[i].info, second, "frame " + std::to_string(i));
        if (rule.Next(frames[i].info) != dv::DvCut::kNone) {
            cuts.push_back(static_cast<int>(i));
        }
    }
    EXPECT_EQ(cuts, (std::vector<int>{0, 25}));
}

TEST(TapeOptionsParser, AddDvDatesTakesAStartOrOneSceneAndACut) {
    const auto r = TapeOptionsParser::Parse(
        {"--add-dv-dates", "clip.dv", "--start", "2007-06-15 10:00:00", "--cut-after=1.5", "o.dv"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.command.dvDatesInput, "clip.dv");
    EXPECT_TRUE(r.command.datesInput.empty());
    EXPECT_EQ(r.command.output, "o.dv");
    EXPECT_EQ(r.command.dates.start, (DateTime{2007, 6, 15, 10, 0, 0}));
    EXPECT_TRUE(r.command.dates.cut);
    EXPECT_EQ(r.command.dates.cutAfterTicks, 135000u);
    const auto scene =
        TapeOptionsParser::Parse({"--scene", "2008-01-02 03:04:05,7", "--add-dv-dates=c.dv", "o"});
    ASSERT_TRUE(scene.ok) << scene.error;
    EXPECT_EQ(scene.command.dates.start, (DateTime{2008, 1, 2, 3, 4, 5}));

    struct Bad {
        std::vector<std::string> args;
        const char* error;
    };
    const std::vector<Bad> bad = {
        {{"--add-dv-dates", "c.dv", "--add-dates", "c.ts", "o"},
         "--add-dates and --add-dv-dates cannot be combined"},
        {{"--add-dv-dates", "c.dv", "--gop", "12", "o"}, "--gop does not apply to --add-dv-dates"},
        {{"--add-dv-dates", "c.dv", "--scene", "2008-01-02 03:04:05,7", "--scene",
          "2008-01-02 04:04:05,7", "o"},
         "--add-dv-dates takes one --scene: the input's frames make the rest"},
        {{"--add-dv-dates=", "o"}, "bad value for --add-dv-dates: "},
        {{"--add-dv-dates", "c.dv"}, "no output file given"},
    };
    for (const auto& b : bad) {
        const auto parsed = TapeOptionsParser::Parse(b.args);
        EXPECT_FALSE(parsed.ok) << ::testing::PrintToString(b.args);
        EXPECT_EQ(parsed.error, b.error) << ::testing::PrintToString(b.args);
    }
    EXPECT_NE(TapeOptionsParser::Usage().find("--add-dv-dates INPUT"), std::string::npos);
}

}  // namespace
}  // namespace vornak::tape
