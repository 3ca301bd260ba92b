// The DV scene job's health check on synthetic tapes with damage at known frames: each finding
// in its scene, at its frame, timecode, date and input offset, from a raw file and from a byte
// source with offsets of its own (as a container's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DvSceneSplitter.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dv::DvSystem;
using dv::test::FrameSetup;

constexpr std::int64_t kSourceShift = 4096;  // where the shifted source's frames lie further on

// The tape's `n`-th 625/50 frame: timecode n, recorded at `hour`:00:00 and n/25 seconds.
FrameSetup Nth(int n, int hour = 10, int second = -1) {
    FrameSetup setup;
    setup.tc = {0, 0, n / 25, n % 25};
    setup.stamp.hour = hour;
    setup.stamp.second = second >= 0 ? second : n / 25;
    return setup;
}

// Sets byte `byte` of each of the first `count` video blocks (or audio blocks' data) to `value`.
std::function<void(Bytes&)> Damage(bool video, int count, std::size_t byte, std::uint8_t value) {
    return [=](Bytes& frame) {
        const auto at = video ? dv::test::VideoBlockOffsets(DvSystem::k625_50)
                              : dv::test::AudioDataOffsets(DvSystem::k625_50);
        for (int i = 0; i < count; ++i) {
            frame[at[static_cast<std::size_t>(i)] + byte] = value;
        }
    };
}

// A tape built piece by piece, with where each piece begins and what a finding in it says.
struct Tape {
    Bytes bytes;
    std::vector<std::int64_t> at;
    std::vector<std::string> place;  // "timecode date"; no timecode where none can be read

    Tape& Frame(FrameSetup setup, const std::function<void(Bytes&)>& damage = {}, bool flag = false,
                std::size_t size = dv::kFrameSize625) {
        setup.recordingStart = flag;
        Bytes frame = dv::test::MakeFrame(setup);
        if (damage) {
            damage(frame);
        }
        frame.resize(std::min(size, frame.size()));
        at.push_back(static_cast<std::int64_t>(bytes.size()));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        char text[40];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d 2007-06-15T%02d:%02d:%02d",
                      setup.tc[0], setup.tc[1], setup.tc[2], setup.dropFrame ? ';' : ':',
                      setup.tc[3], setup.stamp.hour, setup.stamp.minute, setup.stamp.second);
        place.emplace_back(size >= dv::kSequenceSize ? text : text + 12);
        return *this;
    }
    Tape& Frames(int from, int to, int hour = 10) {
        for (int n = from; n <= to; ++n) {
            Frame(Nth(n, hour));
        }
        return *this;
    }
};

struct Expected {
    std::int32_t scene;
    HealthKind kind;
    std::uint64_t count;
    std::size_t firstPiece, lastPiece;    // of the tape
    std::uint64_t firstFrame, lastFrame;  // within the scene
};

struct HealthCase {
    const char* name;
    Tape tape;
    std::vector<Expected> found;
    std::vector<std::vector<std::uint64_t>> recordingStarts;  // per scene
};

FrameSetup Ntsc(int minute, int second, int frame) {
    FrameSetup setup;
    setup.system = DvSystem::k525_60;
    setup.tc = {0, minute, second, frame};
    setup.dropFrame = true;
    return setup;
}

std::vector<HealthCase> Cases() {
    using enum HealthKind;
    FrameSetup bits12 = Nth(1);
    bits12.audioBits = 12;
    bits12.audioRate = 32000;
    FrameSetup bits12Next = bits12;
    bits12Next.tc[3] = 2;
    const auto sta = [](int blocks, std::uint8_t value) {
        return Damage(true, blocks, dv::kVideoStaByte, value);
    };
    const std::size_t kShort = dv::kSequenceSize * 3 + 17;
    // Every scene start in the first breaks the timecode or the clock, and none is a finding.
    return {
        {"a clean tape of three recordings",
         Tape()
             .Frame(Nth(0), {}, true)
             .Frame(Nth(1), {}, true)
             .Frames(2, 29)
             .Frame(Nth(0, 10, 5), {}, true)
             .Frame(Nth(1, 10, 5), {}, true)
             .Frames(900, 901, 11),
         {},
         {{0, 1}, {0, 1}, {}}},
        {"blocks and samples in error",
         Tape()
             .Frames(0, 2)
             .Frame(Nth(3), sta(2, 0xF0))
             .Frame(Nth(4), sta(1, 0xF0))
             .Frame(Nth(5), sta(5, 0x20))  // concealed
             .Frame(Nth(6), Damage(false, 3, 0, 0x80))
             .Frame(Nth(7), Damage(false, 14, 2, 0x80))
             .Frame(bits12, Damage(false, 1, 1, 0x80))  // 0x800 in a 12-bit pair: a new scene
             .Frame(bits12Next),
         {{0, VideoError, 3, 3, 4, 3, 4},
          {0, VideoConcealed, 5, 5, 5, 5, 5},
          {0, AudioError, 17, 6, 7, 6, 7},
          {1, AudioError, 1, 8, 8, 0, 0}},
         {{}, {}}},
        {"ten frames removed",
         Tape().Frames(0, 14).Frames(25, 39),
         {{0, FramesMissing, 10, 15, 15, 15, 15}},
         {{}}},
        {"the timecode goes back",
         Tape().Frames(0, 9).Frames(5, 7),
         {{0, TimecodeJump, 1, 10, 10, 10, 10}},
         {{}}},
        {"the date goes back, then two seconds on between neighbours",
         Tape().Frame(Nth(0, 10, 2)).Frame(Nth(1, 10, 1)).Frame(Nth(2, 10, 1)).Frame(Nth(3, 10, 3)),
         {{0, DateJump, 1, 1, 1, 1, 1}, {0, DateJump, 1, 3, 3, 3, 3}},
         {{}}},
        {"frames cut short, one before the next recording",
         Tape()
             .Frames(0, 4)
             .Frame(Nth(5), {}, false, kShort)
             .Frames(6, 9)
             .Frame(Nth(10), {}, false, 5000)  // not one whole sequence: no timecode read
             .Frames(11, 12)
             .Frame(Nth(500, 11), {}, true, kShort)
             .Frame(Nth(501, 11), {}, true),
         {{0, IncompleteFrame, 1, 5, 5, 5, 5},
          {0, IncompleteFrame, 1, 10, 10, 9, 9},
          {0, IncompleteFrame, 1, 13, 13, 11, 11}},
         {{}, {0}}},
        {"525/60 drop-frame",
         Tape()
             .Frame(Ntsc(0, 59, 29))
             .Frame(Ntsc(1, 0, 2))
             .Frame(Ntsc(1, 0, 3))
             .Frame(Ntsc(1, 0, 6)),
         {{0, FramesMissing, 2, 3, 3, 3, 3}},
         {{}}},
    };
}

// A raw file whose bytes the source says lie further on, as a container's frames do.
class ShiftedSource : public DvByteSource {
  public:
    InputFile::OpenResult Open(const std::string& path) override { return m_raw.Open(path); }
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override {
        return m_raw.Read(dest, size, got);
    }
    void Close() override { m_raw.Close(); }
    std::int64_t FileOffsetOf(std::uint64_t offset) const override {
        return static_cast<std::int64_t>(offset) + kSourceShift;
    }

  private:
    RawDvByteSource m_raw;
};

std::vector<SceneSummary> ScenesOf(const Tape& tape, bool shifted, bool check) {
    test::TempDir dir;
    test::WriteAll(dir.File("in.dv"), tape.bytes);
    test::CapturingLog log;
    SceneSplitterSettings settings{.baseName = dir.File("tape"), .extension = "dv"};
    settings.healthCheck = check;
    settings.listOnly = shifted;
    DvSceneSplitter job(dir.File("in.dv"), settings);
    job.SetLog(&log);
    if (shifted) {
        job.SetByteSource(std::make_unique<ShiftedSource>());
    } else {
        job.SetReadSize(33'333);  // reads that end inside frames
    }
    job.Run();
    EXPECT_EQ(job.Result(), SplitResult::Completed);
    return log.Scenes();
}

std::string PlaceText(const HealthPlace& place) {
    return (place.timecode ? TimecodeText(*place.timecode) + " " : "") +
           (place.date ? test::IsoText(*place.date) : "");
}

TEST(DvSceneSplitter, FindsDamageAtItsPlaces) {
    for (const HealthCase& c : Cases()) {
        for (const bool shifted : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (shifted ? ", shifted" : ""));
            const std::vector<SceneSummary> scenes = ScenesOf(c.tape, shifted, true);
            ASSERT_EQ(scenes.size(), c.recordingStarts.size());
            std::size_t next = 0;
            for (const SceneSummary& scene : scenes) {
                EXPECT_TRUE(scene.healthChecked);
                EXPECT_EQ(scene.recordingStarts, c.recordingStarts[scene.number]);
                for (const HealthFinding& f : scene.findings) {
                    ASSERT_LT(next, c.found.size()) << DescribeFinding(f);
                    const Expected& e = c.found[next++];
                    EXPECT_EQ(scene.number, e.scene);
                    EXPECT_EQ(f.kind, e.kind);
                    EXPECT_EQ(f.count, e.count);
                    EXPECT_EQ(f.first.picture, e.firstFrame);
                    EXPECT_EQ(f.last.picture, e.lastFrame);
                    EXPECT_EQ(PlaceText(f.first), c.tape.place[e.firstPiece]);
                    EXPECT_EQ(PlaceText(f.last), c.tape.place[e.lastPiece]);
                    const std::int64_t shift = shifted ? kSourceShift : 0;
                    EXPECT_EQ(f.first.offset, c.tape.at[e.firstPiece] + shift);
                    EXPECT_EQ(f.last.offset, c.tape.at[e.lastPiece] + shift);
                }
            }
            EXPECT_EQ(next, c.found.size());
        }
        // Unasked, nothing is looked for, and no scene claims to be clean.
        for (const SceneSummary& scene : ScenesOf(c.tape, false, false)) {
            EXPECT_FALSE(scene.healthChecked || !scene.findings.empty() ||
                         !scene.recordingStarts.empty());
        }
    }
}

}  // namespace
}  // namespace vornak
