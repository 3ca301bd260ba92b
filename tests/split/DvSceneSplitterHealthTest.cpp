// The DV scene job's health check on synthetic tapes with damage at known frames: each finding
// in its scene, at its frame, timecode, date and input offset, read from a raw file, from a
// byte source with offsets of its own (as a container's) and live.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DvSceneSplitter.h"
#include "DvTestFrames.h"
#include "LiveSource.h"
#include "SceneJobFactory.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dv::DvSystem;
using dv::test::FrameSetup;

constexpr int kFramesPerSecond = 25;
// Where the offsets of the container-like source begin in its file.
constexpr std::int64_t kSourceShift = 4096;
constexpr std::uint8_t kStaError = 0xF0;
constexpr std::uint8_t kStaConcealed = 0x20;
constexpr std::uint8_t kError16High = 0x80;  // the high byte of 0x8000
constexpr std::uint8_t kError12High = 0x80;  // the high eight bits of 0x800

// The tape's `n`-th 625/50 frame: timecode n, recorded at 10:00:00 and n/25 seconds.
FrameSetup Nth(int n, int second = -1) {
    FrameSetup setup;
    setup.tc = {0, 0, n / kFramesPerSecond, n % kFramesPerSecond};
    setup.stamp.second = second >= 0 ? second : n / kFramesPerSecond;
    return setup;
}

using Damage = std::function<void(Bytes&)>;

Damage VideoStatus(int blocks, std::uint8_t sta) {
    return [=](Bytes& frame) {
        const std::vector<std::size_t> at = dv::test::VideoBlockOffsets(DvSystem::k625_50);
        for (int b = 0; b < blocks; ++b) {
            frame[at[static_cast<std::size_t>(b) * 7] + dv::kVideoStaByte] = sta;
        }
    };
}

Damage AudioErrors16(int samples) {
    return [=](Bytes& frame) {
        for (int s = 0; s < samples; ++s) {
            frame[dv::test::AudioDataAt(s % 12, 1) + 2 * static_cast<std::size_t>(s / 12)] =
                kError16High;
        }
    };
}

// Both samples of the first pair of a block.
Damage AudioErrorPair12() {
    return [](Bytes& frame) {
        const std::size_t at = dv::test::AudioDataAt(5, 8);
        frame[at] = kError12High;
        frame[at + 1] = kError12High;
    };
}

// A tape built piece by piece, with what each piece says of itself.
struct Tape {
    Bytes bytes;
    std::vector<std::int64_t> at;   // where each piece begins
    std::vector<std::string> tc;    // its timecode as a report writes it; empty: none read
    std::vector<std::string> date;  // the date a finding in it carries

    Tape& Frame(const FrameSetup& setup, const Damage& damage = {}) {
        Bytes frame = dv::test::MakeFrame(setup);
        if (damage) {
            damage(frame);
        }
        return Add(setup, frame, true);
    }
    Tape& Frames(int from, int to) {
        for (int n = from; n <= to; ++n) {
            Frame(Nth(n));
        }
        return *this;
    }
    // A frame cut short after `size` bytes.
    Tape& CutShort(const FrameSetup& setup, std::size_t size) {
        Bytes frame = dv::test::MakeFrame(setup);
        frame.resize(size);
        return Add(setup, frame, size >= dv::kSequenceSize);
    }

  private:
    Tape& Add(const FrameSetup& setup, const Bytes& frame, bool readable) {
        at.push_back(static_cast<std::int64_t>(bytes.size()));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", setup.tc[0], setup.tc[1],
                      setup.tc[2], setup.dropFrame ? ';' : ':', setup.tc[3]);
        tc.emplace_back(readable && setup.timecode ? text : "");
        const auto& s = setup.stamp;
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", s.hour, s.minute, s.second);
        date.push_back(std::string("2007-06-15T") + text);
        return *this;
    }
};

struct Expected {
    std::int32_t scene;
    HealthKind kind;
    std::uint64_t count;
    std::size_t firstPiece;  // the tape's pieces, for timecode, date and offset
    std::size_t lastPiece;
    std::uint64_t firstFrame;  // within the scene
    std::uint64_t lastFrame;
};

struct HealthCase {
    const char* name;
    Tape tape;
    std::vector<Expected> found;
    std::vector<std::vector<std::uint64_t>> recordingStarts;  // per scene
};

FrameSetup Flagged(FrameSetup setup) {
    setup.recordingStart = true;
    return setup;
}

// The tape's `n`-th frame in a recording an hour later.
FrameSetup Later(int n) {
    FrameSetup setup = Nth(n);
    setup.stamp.hour = 11;
    return setup;
}

FrameSetup Bits12(FrameSetup setup) {
    setup.audioBits = 12;
    setup.audioRate = 32000;
    return setup;
}

FrameSetup Ntsc(int minute, int second, int frame) {
    FrameSetup setup;
    setup.system = DvSystem::k525_60;
    setup.tc = {0, minute, second, frame};
    setup.dropFrame = true;
    return setup;
}

std::vector<HealthCase> Cases() {
    const auto kVideo = HealthKind::VideoError;
    const auto kAudio = HealthKind::AudioError;
    std::vector<HealthCase> cases;
    {
        // Every scene start here breaks the timecode or the clock, and none is a finding.
        Tape t;
        t.Frame(Flagged(Nth(0))).Frame(Flagged(Nth(1))).Frames(2, 29);
        t.Frame(Flagged(Nth(0, 5))).Frame(Flagged(Nth(1, 5))).Frame(Nth(2, 5));
        t.Frame(Later(900)).Frame(Later(901));
        cases.push_back({"a clean tape of three recordings", t, {}, {{0, 1}, {0, 1}, {}}});
    }
    {
        Tape t;
        t.Frames(0, 2)
            .Frame(Nth(3), VideoStatus(2, kStaError))
            .Frame(Nth(4), VideoStatus(1, kStaError))
            .Frames(5, 6)
            .Frame(Nth(7), VideoStatus(5, kStaConcealed))
            .Frames(8, 9)
            .Frame(Nth(10), AudioErrors16(3))
            .Frame(Nth(11), AudioErrors16(14))
            .Frames(12, 14);
        cases.push_back({"blocks and samples in error",
                         t,
                         {{0, kVideo, 3, 3, 4, 3, 4},
                          {0, HealthKind::VideoConcealed, 5, 7, 7, 7, 7},
                          {0, kAudio, 17, 10, 11, 10, 11}},
                         {{}}});
    }
    {
        Tape t;
        t.Frame(Bits12(Nth(0))).Frame(Bits12(Nth(1)), AudioErrorPair12()).Frame(Bits12(Nth(2)));
        cases.push_back({"12-bit error samples", t, {{0, kAudio, 2, 1, 1, 1, 1}}, {{}}});
    }
    {
        Tape t;
        t.Frames(0, 14).Frames(25, 39);
        cases.push_back(
            {"ten frames removed", t, {{0, HealthKind::FramesMissing, 10, 15, 15, 15, 15}}, {{}}});
    }
    {
        Tape t;
        t.Frames(0, 9).Frames(5, 14);
        cases.push_back({"the timecode goes back",
                         t,
                         {{0, HealthKind::TimecodeJump, 1, 10, 10, 10, 10}},
                         {{}}});
    }
    {
        Tape t;
        for (int n = 0; n < 25; ++n) {
            t.Frame(Nth(n, n < 10 ? 2 : n < 20 ? 1 : 3));
        }
        cases.push_back({"the date goes back and jumps within a scene",
                         t,
                         {{0, HealthKind::DateJump, 1, 10, 10, 10, 10},
                          {0, HealthKind::DateJump, 1, 20, 20, 20, 20}},
                         {{}}});
    }
    {
        Tape t;
        t.Frames(0, 4)
            .CutShort(Nth(5), dv::kSequenceSize * 3 + 17)
            .Frames(6, 9)
            .CutShort(Nth(10), 5000)  // not one whole sequence: nothing read from it
            .Frames(11, 14)
            .CutShort(Nth(15), dv::kSequenceSize * 2);  // the tape's end
        cases.push_back({"frames cut short",
                         t,
                         {{0, HealthKind::IncompleteFrame, 1, 5, 5, 5, 5},
                          {0, HealthKind::IncompleteFrame, 1, 10, 10, 9, 9},
                          {0, HealthKind::IncompleteFrame, 1, 15, 15, 13, 13}},
                         {{}}});
    }
    {
        // Cut short where the next recording begins: the scene before keeps it.
        Tape t;
        t.Frames(0, 4)
            .CutShort(Flagged(Later(500)), dv::kSequenceSize * 4)
            .Frame(Flagged(Later(501)))
            .Frame(Later(502));
        cases.push_back({"a frame cut short before a new recording",
                         t,
                         {{0, HealthKind::IncompleteFrame, 1, 5, 5, 5, 5}},
                         {{}, {0}}});
    }
    {
        Tape t;
        t.Frame(Ntsc(0, 59, 28))
            .Frame(Ntsc(0, 59, 29))
            .Frame(Ntsc(1, 0, 2))
            .Frame(Ntsc(1, 0, 3))
            .Frame(Ntsc(1, 0, 6));
        cases.push_back(
            {"525/60 drop-frame", t, {{0, HealthKind::FramesMissing, 2, 4, 4, 4, 4}}, {{}}});
    }
    return cases;
}

// The frames of a tape queued as a capture pin hands them on, in one batch, then its end.
class TapeLiveSource : public LiveSource {
  public:
    explicit TapeLiveSource(const Tape& tape) {
        m_chunks = std::make_unique<ChunkQueue>();
        for (std::size_t i = 0; i < tape.at.size(); ++i) {
            const auto end = i + 1 < tape.at.size() ? static_cast<std::size_t>(tape.at[i + 1])
                                                    : tape.bytes.size();
            const auto from = static_cast<std::size_t>(tape.at[i]);
            auto chunk = std::make_unique<SampleChunk>();
            chunk->cbData = static_cast<std::int32_t>(end - from);
            chunk->pData = std::make_unique<std::uint8_t[]>(end - from);
            std::copy(tape.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      tape.bytes.begin() + static_cast<std::ptrdiff_t>(end), chunk->pData.get());
            chunk->kind = ChunkKind::Dv;
            m_chunks->push_front(std::move(chunk));
        }
    }
    std::unique_ptr<ChunkQueue> TakeChunks() override { return std::move(m_chunks); }

  private:
    std::unique_ptr<ChunkQueue> m_chunks;
};

// A raw file whose bytes the source says lie further on, as a container's frames do.
class ShiftedSource : public DvByteSource {
  public:
    InputFile::OpenResult Open(const std::string& path) override { return m_raw.Open(path); }
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override {
        return m_raw.Read(dest, size, got);
    }
    void Close() override { m_raw.Close(); }
    std::int64_t FileOffsetOf(std::uint64_t streamOffset) const override {
        return static_cast<std::int64_t>(streamOffset) + kSourceShift;
    }

  private:
    RawDvByteSource m_raw;
};

enum class Way { kFile, kShiftedListing, kLive };

std::vector<SceneSummary> ScenesOf(const Tape& tape, Way way, bool check) {
    test::TempDir dir;
    const std::string input = dir.File("in.dv");
    test::WriteAll(input, tape.bytes);
    test::CapturingLog log;
    SceneSplitterSettings settings{.baseName = dir.File("tape"), .extension = "dv"};
    settings.healthCheck = check;
    settings.listOnly = way != Way::kFile;
    if (way == Way::kLive) {
        TapeLiveSource source(tape);
        const auto job = MakeLiveSceneJob(&source, ChunkKind::Dv, settings, &log, nullptr);
        job->Run();
        EXPECT_EQ(job->Result(), SplitResult::Completed);
        return log.Scenes();
    }
    DvSceneSplitter job(input, settings);
    job.SetLog(&log);
    if (way == Way::kShiftedListing) {
        job.SetByteSource(std::make_unique<ShiftedSource>());
    } else {
        job.SetReadSize(33'333);  // reads that end inside frames
    }
    job.Run();
    EXPECT_EQ(job.Result(), SplitResult::Completed);
    return log.Scenes();
}

TEST(DvSceneSplitter, FindsDamageAtItsPlaces) {
    for (const HealthCase& c : Cases()) {
        for (const Way way : {Way::kFile, Way::kShiftedListing, Way::kLive}) {
            SCOPED_TRACE(std::string(c.name) + ", way " + std::to_string(static_cast<int>(way)));
            const std::int64_t shift = way == Way::kShiftedListing ? kSourceShift : 0;
            const std::vector<SceneSummary> scenes = ScenesOf(c.tape, way, true);
            ASSERT_EQ(scenes.size(), c.recordingStarts.size());
            std::size_t next = 0;
            for (const SceneSummary& scene : scenes) {
                EXPECT_TRUE(scene.healthChecked);
                EXPECT_EQ(scene.recordingStarts, c.recordingStarts[scene.number]);
                for (const HealthFinding& f : scene.findings) {
                    ASSERT_LT(next, c.found.size()) << DescribeFinding(f);
                    const Expected& e = c.found[next++];
                    const auto place = [&](const HealthPlace& p, std::size_t piece,
                                           std::uint64_t frame) {
                        EXPECT_EQ(p.picture, frame);
                        EXPECT_EQ(p.timecode ? TimecodeText(*p.timecode) : "", c.tape.tc[piece]);
                        ASSERT_TRUE(p.date);
                        EXPECT_EQ(test::IsoText(*p.date), c.tape.date[piece]);
                        EXPECT_EQ(p.offset, c.tape.at[piece] + shift);
                    };
                    SCOPED_TRACE(DescribeFinding(f));
                    EXPECT_EQ(scene.number, e.scene);
                    EXPECT_EQ(f.kind, e.kind);
                    EXPECT_EQ(f.count, e.count);
                    place(f.first, e.firstPiece, e.firstFrame);
                    place(f.last, e.lastPiece, e.lastFrame);
                }
            }
            EXPECT_EQ(next, c.found.size());
        }
    }
}

// Without the check nothing is looked for, and the scenes do not claim to be clean.
TEST(DvSceneSplitter, ChecksNothingUnlessAsked) {
    for (const HealthCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        for (const SceneSummary& scene : ScenesOf(c.tape, Way::kFile, false)) {
            EXPECT_FALSE(scene.healthChecked);
            EXPECT_TRUE(scene.findings.empty());
            EXPECT_TRUE(scene.recordingStarts.empty());
        }
    }
}

}  // namespace
}  // namespace vornak
