// One frame read: what it says about itself, the copies of its date voting, the damage its
// blocks own up to, and a clip written by FFmpeg read from end to end.
#include "DvFrameParser.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "DvFrameReader.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;
using test::Copy;
using test::FrameSetup;
using test::MakeFrame;
using test::Stamp;

DvFrameInfo Parsed(const Bytes& frame) {
    DvFrameInfo info;
    EXPECT_TRUE(DvFrameParser::Parse(frame, info));
    return info;
}

TEST(DvFrameParser, ReadsWhatAFrameSaysAboutItself) {
    struct Case {
        const char* name;
        FrameSetup setup;
        int sequences;
        DvAspect aspect;
    };
    FrameSetup ntsc;
    ntsc.system = DvSystem::k525_60;
    ntsc.wide = true;
    ntsc.recordingStart = true;
    ntsc.audioRate = 32000;
    ntsc.audioBits = 12;
    ntsc.stamp = Stamp{98, 12, 31, 23, 59, 58};
    ntsc.tc = {1, 2, 3, 4};
    const std::vector<Case> cases = {
        {"625/50, 4:3, 48 kHz", FrameSetup{}, kSequences625, DvAspect::k4x3},
        {"525/60, 16:9, 32 kHz 12 bit, start", ntsc, kSequences525, DvAspect::k16x9},
    };
    for (const auto& c : cases) {
        const DvFrameInfo info = Parsed(MakeFrame(c.setup));
        EXPECT_EQ(info.system, c.setup.system) << c.name;
        EXPECT_EQ(info.sequences, c.sequences) << c.name;
        EXPECT_EQ(info.aspect, c.aspect) << c.name;
        EXPECT_EQ(info.audioRate, c.setup.audioRate) << c.name;
        EXPECT_EQ(info.audioBits, c.setup.audioBits) << c.name;
        EXPECT_EQ(info.recordingStart, c.setup.recordingStart) << c.name;
        ASSERT_TRUE(info.recorded) << c.name;
        const Stamp& s = c.setup.stamp;
        EXPECT_EQ(info.recorded->date, (DvDate{FullYear(s.year), s.month, s.day})) << c.name;
        EXPECT_EQ(info.recorded->time, (DvTime{s.hour, s.minute, s.second, -1})) << c.name;
        ASSERT_TRUE(info.timecode) << c.name;
        EXPECT_EQ(*info.timecode,
                  (DvTimecode{c.setup.tc[0], c.setup.tc[1], c.setup.tc[2], c.setup.tc[3], false}))
            << c.name;
        EXPECT_EQ(info.videoBlocksConcealed + info.videoBlocksInError + info.audioErrorSamples, 0)
            << c.name;
    }
}

// Camcorders flag a recording start in the AAUX control pack, the VAUX one, or both.
TEST(DvFrameParser, TakesTheStartFlagFromEitherControlPack) {
    struct Case {
        const char* name;
        bool audioFlag;
        bool videoFlag;
    };
    const std::vector<Case> cases = {
        {"neither", false, false},
        {"AAUX only", true, false},
        {"VAUX only", false, true},
        {"both", true, true},
    };
    for (const auto& c : cases) {
        Bytes frame = MakeFrame();
        frame[test::AudioPackAt(0, 4) + kControlRecStartByte] = c.audioFlag ? 0x4F : 0xCF;
        frame[test::VauxPackAt(0, 0, 1) + kControlRecStartByte] = c.videoFlag ? 0x48 : 0xC8;
        EXPECT_EQ(Parsed(frame).recordingStart, c.audioFlag || c.videoFlag) << c.name;
    }
}

// Each copy damaged in turn (an impossible digit, or a valid but wrong value) is out-voted by
// the other two; with only two copies left that disagree, the frame has no date.
TEST(DvFrameParser, OneDamagedCopyOfTheDateIsOutVoted) {
    struct Case {
        const char* name;
        std::vector<Copy> wrongDates;
        std::vector<Copy> wrongTimes;
        std::vector<Copy> blanked;
        bool dated;
    };
    const std::vector<Case> cases = {
        {"VAUX date a day off", {Copy::kVaux}, {}, {}, true},
        {"subcode date a day off", {Copy::kSubcode}, {}, {}, true},
        {"AAUX date a day off", {Copy::kAudio}, {}, {}, true},
        {"VAUX time an hour off", {}, {Copy::kVaux}, {}, true},
        {"AAUX time an hour off", {}, {Copy::kAudio}, {}, true},
        {"one copy blank", {}, {}, {Copy::kSubcode}, true},
        {"two copies blank, one left", {}, {}, {Copy::kSubcode, Copy::kAudio}, true},
        {"one of two left a day off", {Copy::kVaux}, {}, {Copy::kAudio}, false},
        {"two of three a day off the same way", {Copy::kVaux, Copy::kAudio}, {}, {}, true},
    };
    // MakeFrame dates its frames 15 June, 10:00:00; the wrong copies say 16 June and 11:00.
    for (const auto& c : cases) {
        Bytes frame = MakeFrame();
        for (const Copy copy : c.wrongDates) {
            frame[test::DateCopyAt(copy) + 2] = static_cast<std::uint8_t>(0xC0 | test::Bcd(16));
        }
        for (const Copy copy : c.wrongTimes) {
            frame[test::TimeCopyAt(copy) + 4] = static_cast<std::uint8_t>(0xC0 | test::Bcd(11));
        }
        for (const Copy copy : c.blanked) {
            test::Put(frame, test::DateCopyAt(copy), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        }
        const DvFrameInfo info = Parsed(frame);
        ASSERT_EQ(info.recorded.has_value(), c.dated) << c.name;
        if (!c.dated) {
            continue;
        }
        // Two wrong copies that agree win: the vote counts copies, it cannot know better.
        const bool wrongWins = c.wrongDates.size() > 1;
        EXPECT_EQ(info.recorded->date.day, wrongWins ? 16 : 15) << c.name;
        EXPECT_EQ(info.recorded->time.hours, 10) << c.name;
    }
    // Dates in impossible digits count for nothing: the good copies stand alone.
    Bytes frame = MakeFrame();
    frame[test::DateCopyAt(Copy::kVaux) + 3] = 0xEA;
    ASSERT_TRUE(Parsed(frame).recorded);
    EXPECT_EQ(Parsed(frame).recorded->date.month, 6);
}

TEST(DvFrameParser, AFrameWithoutDateOrWithFfmpegsNoneHasNoDate) {
    FrameSetup undated;
    undated.dated = false;
    EXPECT_FALSE(Parsed(MakeFrame(undated)).recorded);
    FrameSetup none;
    none.stamp = Stamp{70, 1, 1, 0, 0, 3};
    EXPECT_FALSE(Parsed(MakeFrame(none)).recorded);
}

TEST(DvFrameParser, CountsFlaggedVideoBlocksAndAudioErrorSamples) {
    struct Case {
        const char* name;
        int bits;
        std::vector<std::pair<std::size_t, std::uint8_t>> pokes;  // offset, byte
        int concealed;
        int inError;
        int audioErrors;
    };
    const std::size_t v1 = test::VideoBlockAt(0, 0, 0) + kVideoStaByte;
    const std::size_t v2 = test::VideoBlockAt(11, 8, 14) + kVideoStaByte;
    const std::size_t v3 = test::VideoBlockAt(5, 3, 7) + kVideoStaByte;
    const std::size_t a = test::AudioDataAt(2, 4);
    const std::size_t last = test::AudioDataAt(11, 8) + kAudioDataSize;
    const std::vector<Case> cases = {
        {"STA 2 and 0xF, low nibble ignored", 16, {{v1, 0x2F}, {v2, 0xF0}, {v3, 0x07}}, 1, 1, 0},
        {"16-bit 0x8000, first and last sample", 16, {{a, 0x80}, {last - 2, 0x80}}, 0, 0, 2},
        {"16-bit 0x8001 and 0x0080 are samples",
         16,
         {{a, 0x80}, {a + 1, 0x01}, {a + 3, 0x80}},
         0,
         0,
         0},
        // 12-bit: three bytes hold two samples, high bytes first, then both low nibbles.
        {"12-bit 0x800 in both of a pair", 12, {{a, 0x80}, {a + 1, 0x80}}, 0, 0, 2},
        {"12-bit 0x800 only in the second", 12, {{a + 1, 0x80}, {a + 2, 0x10}}, 0, 0, 1},
        {"12-bit, last pair", 12, {{last - 3, 0x80}}, 0, 0, 1},
    };
    for (const auto& c : cases) {
        FrameSetup setup;
        setup.audioBits = c.bits;
        setup.audioRate = c.bits == 12 ? 32000 : 48000;
        Bytes frame = MakeFrame(setup);
        for (const auto& [at, byte] : c.pokes) {
            frame[at] = byte;
        }
        const DvFrameInfo info = Parsed(frame);
        EXPECT_EQ(info.videoBlocksConcealed, c.concealed) << c.name;
        EXPECT_EQ(info.videoBlocksInError, c.inError) << c.name;
        EXPECT_EQ(info.audioErrorSamples, c.audioErrors) << c.name;
    }
}

TEST(DvFrameParser, ReadsTheWholeSequencesOfAShortFrameAndRefusesWhatIsNoFrame) {
    const Bytes frame = MakeFrame();
    DvFrameInfo info;
    ASSERT_TRUE(DvFrameParser::Parse(std::span(frame).first(3 * kSequenceSize + 100), info));
    EXPECT_EQ(info.sequences, 3);
    EXPECT_TRUE(info.timecode);  // in sequence 0
    ASSERT_TRUE(info.recorded);  // VAUX in 0, AAUX in 1: the subcode copy in 6 is missing

    EXPECT_FALSE(DvFrameParser::Parse(std::span(frame).first(kSequenceSize - 1), info));
    Bytes shifted(frame.begin() + kBlockSize, frame.end());
    EXPECT_FALSE(DvFrameParser::Parse(shifted, info));
    EXPECT_FALSE(info.recorded);
}

// A real clip, as FFmpeg writes DV: every frame found, and each frame's date the clip's start
// plus the whole seconds before it, its timecode counting up.
TEST(DvFrameParser, ReadsAClipFfmpegWrote) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    vornak::test::TempDir dir;
    const std::string path = dir.File("clip.dv");
    ASSERT_EQ(test::WriteFfmpegDv(path, 3, "16:9", "2007-06-15T23:59:58Z"), "");
    const Bytes clip = vornak::test::ReadAll(path);
    ASSERT_EQ(clip.size(), 75 * kFrameSize625);

    DvFrameReader reader;
    DvPiece piece;
    int frames = 0;
    while (reader.Next(std::span(clip).subspan(reader.Position()), true, piece)) {
        ASSERT_EQ(piece.kind, DvPieceKind::kFrame) << piece.offset;
        DvFrameInfo info;
        ASSERT_TRUE(DvFrameParser::Parse(piece.bytes, info));
        EXPECT_EQ(info.system, DvSystem::k625_50);
        EXPECT_EQ(info.aspect, DvAspect::k16x9);
        EXPECT_EQ(info.audioRate, 48000);
        EXPECT_EQ(info.audioBits, 16);
        EXPECT_EQ(info.audioSamples, 1920);
        EXPECT_FALSE(info.recordingStart);
        ASSERT_TRUE(info.recorded) << frames;
        const DvDate date = frames < 50 ? DvDate{2007, 6, 15} : DvDate{2007, 6, 16};
        const DvTime time = frames < 25   ? DvTime{23, 59, 58, -1}
                            : frames < 50 ? DvTime{23, 59, 59, -1}
                                          : DvTime{0, 0, 0, -1};
        EXPECT_EQ(info.recorded->date, date) << frames;
        EXPECT_EQ(info.recorded->time, time) << frames;
        ASSERT_TRUE(info.timecode);
        EXPECT_EQ(info.timecode->seconds * 25 + info.timecode->frames, frames);
        EXPECT_EQ(info.videoBlocksConcealed + info.videoBlocksInError, 0);
        ++frames;
    }
    EXPECT_EQ(frames, 75);
    EXPECT_EQ(reader.Position(), clip.size());
}

}  // namespace
}  // namespace vornak::dv
