// Where scenes begin: date jumps, closed picture groups, the first date of an input, damaged date
// packs, broken pictures, and the first scene that never had a decision of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace pk = tape::packets;

constexpr const char* kUtc = "UTC0";
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kSceneChange = "Scene change detected.";
constexpr int kWidth = 1440;
constexpr int kHeight = 1080;
constexpr std::size_t kHandPictureBytes = 2000;  // about eleven packets per picture
constexpr int kPicturesPerHandGroup = 3;
constexpr int kGoodSlices = SLICES_PER_PICTURE;
constexpr int kBrokenSlices = SLICES_PER_PICTURE - 1;
constexpr int kTypeI = 1;
constexpr int kTypeP = 2;
constexpr int kNormalAdaptation = 7;
// The date's last byte (the hour) lies at L + 53; the packet's last byte is 187.
constexpr int kLastFittingAdaptation = 134;
constexpr std::size_t kDayOffsetAfterAdaptation = 47;
constexpr std::size_t kHourOffsetAfterAdaptation = 53;
constexpr std::size_t kSmallPictureBytes = 3000;

using test::At;

const tape::DateTime T0 = At(2006, 5, 1, 14, 3, 30);
tape::DateTime Plus(int seconds) {
    return tape::AddSeconds(T0, seconds);
}

struct Pack {
    tape::DateTime date;
    int adaptation = kNormalAdaptation;
};

// Builds a stream picture group by picture group and notes where each group's output begins.
// Every group is laid out as
//   | V0: PES start, sequence header, group header, I picture | date packs | V1..Vn | PAT |
// so a group's cut lies after the previous group's last video packet, before its PAT.
class HandTape {
  public:
    HandTape() {
        Append(pk::Pat());
        Append(pk::Pmt(false));
    }

    struct Group {
        bool closed = false;
        std::vector<Pack> packs;
        bool sequenceEndFirst = false;  // 00 00 01 B7 right before the group header
        int firstPictureSlices = kGoodSlices;
    };

    void Add(const Group& g) {
        Bytes es = pk::SequenceHeader(kWidth, kHeight);
        if (g.sequenceEndFirst) {
            es.insert(es.end(), {0x00, 0x00, 0x01, 0xB7});
        }
        const Bytes gop = pk::GopHeader(g.closed);
        es.insert(es.end(), gop.begin(), gop.end());
        for (int k = 0; k < kPicturesPerHandGroup; ++k) {
            const Bytes pic = pk::Picture(k == 0 ? kTypeI : kTypeP, kHandPictureBytes,
                                          k == 0 ? g.firstPictureSlices : kGoodSlices, m_rng);
            es.insert(es.end(), pic.begin(), pic.end());
        }
        const Bytes video = pk::VideoPes(es, m_cc);
        m_cuts.push_back(m_lastVideoEnd);
        m_bytes.insert(m_bytes.end(), video.begin(), video.begin() + PKT_SIZE);
        for (const Pack& p : g.packs) {
            Append(pk::DatePack(p.date, p.adaptation));
        }
        m_bytes.insert(m_bytes.end(), video.begin() + PKT_SIZE, video.end());
        m_lastVideoEnd = m_bytes.size();
        Append(pk::Pat());
    }
    void Open(std::vector<Pack> packs) { Add({.closed = false, .packs = std::move(packs)}); }
    void Open(const tape::DateTime& date) { Open(std::vector<Pack>{{date}}); }
    void Closed(std::vector<Pack> packs) { Add({.closed = true, .packs = std::move(packs)}); }

    const Bytes& Data() const { return m_bytes; }
    std::uint64_t Cut(std::size_t group) const { return m_cuts.at(group); }

  private:
    void Append(const Bytes& b) { m_bytes.insert(m_bytes.end(), b.begin(), b.end()); }

    Bytes m_bytes;
    std::vector<std::uint64_t> m_cuts;
    std::uint64_t m_lastVideoEnd = 0;
    std::uint8_t m_cc = 0;
    std::uint32_t m_rng = 1;
};

struct Result {
    std::vector<Bytes> files;  // in naming order
    std::vector<std::string> names;
    std::vector<std::string> lines;
    int dropped = 0;
    std::int32_t counter = 0;
};

struct Options {
    bool dateNaming = false;
    std::size_t bufferBytes = 0;
};

Result SplitBytes(const Bytes& input, const Options& o = {}) {
    test::TempDir dir;
    const std::string in = dir.File("in.m2t");
    test::WriteAll(in, input);
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    SceneSplitter splitter(
        in, {.baseName = out + "/tape", .extension = "m2t", .dateTimeNaming = o.dateNaming});
    test::CapturingLog log;
    splitter.SetLog(&log);
    if (o.bufferBytes != 0) {
        splitter.SetReadBufferSize(o.bufferBytes);
    }
    splitter.Run();
    Result r;
    r.names = test::ListFiles(out);
    for (const auto& name : r.names) {
        r.files.push_back(test::ReadAll(out + "/" + name));
    }
    r.lines = log.Lines();
    r.dropped = log.Dropped();
    r.counter = splitter.Counter();
    return r;
}

// The files hold the input split at exactly these offsets, the last running to the end.
void ExpectSplitAt(const Result& r, const Bytes& input, const std::vector<std::uint64_t>& cuts) {
    ASSERT_EQ(r.files.size(), cuts.size()) << "files: " << ::testing::PrintToString(r.names);
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const std::uint64_t end = i + 1 < cuts.size() ? cuts[i + 1] : input.size();
        EXPECT_EQ(r.files[i].size(), end - cuts[i]) << r.names[i];
        EXPECT_TRUE(std::equal(r.files[i].begin(), r.files[i].end(),
                               input.begin() + static_cast<std::ptrdiff_t>(cuts[i])))
            << r.names[i];
    }
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

// | G0 open T | G1 open T+2 | G2 open T+5 | G3 open T+6 |
// Two seconds stay in a scene; three seconds start one at G2.
TEST(SceneSplitterScenes, JumpOfThreeSecondsCutsAndTwoDoNot) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Open(Plus(2));
    t.Open(Plus(5));
    t.Open(Plus(6));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(2)});
    EXPECT_EQ(Count(r.lines, kSceneChange), 1u);
}

// | G0 open T | G1 open T-10 | G2 open T-12 | G3 open T-15 |
// Backwards by ten and by three seconds are jumps; by two is not.
TEST(SceneSplitterScenes, BackwardJumpsCutLikeForwardOnes) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Open(Plus(-10));
    t.Open(Plus(-12));
    t.Open(Plus(-15));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(1), t.Cut(3)});
}

// | G0 open T | G1 closed [T+1] | G2 open T+1 | G3 closed [T+100] | G4 open T+101 | G5 open T+200 |
// A closed group with one pack cuts only on a jump; after a jump the next open group is checked.
TEST(SceneSplitterScenes, ClosedGroupWithOneDatePackCutsOnlyOnAJump) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Closed({{Plus(1)}});
    t.Open(Plus(1));
    t.Closed({{Plus(100)}});
    t.Open(Plus(101));
    t.Open(Plus(200));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(3), t.Cut(5)});
}

// | G0 open T | G1 closed [T+1, T+1] | G2 open T+30 | G3 open T+31 | G4 open T+60 |
// Two packs in a closed group cut without any jump, at the group's start. The open group right
// after such a cut is not checked, so G2's jump starts no scene; G4's does.
TEST(SceneSplitterScenes, ClosedGroupWithTwoDatePacksCutsWithoutAJump) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Closed({{Plus(1)}, {Plus(1)}});
    t.Open(Plus(30));
    t.Open(Plus(31));
    t.Open(Plus(60));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(1), t.Cut(4)});
    EXPECT_EQ(Count(r.lines, kSceneChange), 2u);
}

// | PAT PMT | G0 open, no pack | G1 open, no pack | G2 open T | G3 open T+1 |
// The first date of the input starts a scene at its group; the groups before it are a scene
// without a date, in a file of its own.
TEST(SceneSplitterScenes, FirstDateStartsASecondFileAfterUndatedGroups) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(std::vector<Pack>{});
    t.Open(std::vector<Pack>{});
    t.Open(Plus(0));
    t.Open(Plus(1));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {0, t.Cut(2)});
    EXPECT_EQ(Count(r.lines, kSceneChange), 0u);
    EXPECT_EQ(r.counter, 2);
}

// | PAT PMT | G0 closed [T] | G1 open T+1 | G2 open T+2 |
// A closed first group with one pack decides nothing: the first write opens the file, from the
// first byte on.
TEST(SceneSplitterScenes, ClosedFirstGroupWithOneDatePackKeepsTheWholeInput) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Closed({{Plus(0)}});
    t.Open(Plus(1));
    t.Open(Plus(2));
    const Result r = SplitBytes(t.Data(), {.dateNaming = true});
    ExpectSplitAt(r, t.Data(), {0});
    // Named after its first date pack, not after the latest date known when the file opened.
    EXPECT_EQ(r.names, std::vector<std::string>{"tape-2006_05_01-14_03_30.m2t"});
}

// | G0 open 2024-12-31 23:59:59 | G1 open 2025-01-01 00:00:00 | G2 open 2026-01-01 00:00:00 |
// Year bytes 24, 25 and 26 are three neighbouring years of this century.
TEST(SceneSplitterScenes, TwoDigitYearsStayInThisCentury) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(At(2024, 12, 31, 23, 59, 59));
    t.Open(At(2025, 1, 1, 0, 0, 0));
    t.Open(At(2026, 1, 1, 0, 0, 0));
    const Result r = SplitBytes(t.Data(), {.dateNaming = true});
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(2)});
    EXPECT_EQ(r.names, (std::vector<std::string>{"tape-2024_12_31-23_59_59.m2t",
                                                 "tape-2026_01_01-00_00_00.m2t"}));
}

// | G0 open 2006-03-26 01:59:59 | G1 open 2006-03-26 03:00:00 |
// Central European clocks skipped that hour: one second in local time, an hour in UTC.
TEST(SceneSplitterScenes, DatesCompareInLocalTime) {
    HandTape t;
    t.Open(At(2006, 3, 26, 1, 59, 59));
    t.Open(At(2006, 3, 26, 3, 0, 0));
    {
        test::ScopedTimeZone tz(kCentralEurope);
        ExpectSplitAt(SplitBytes(t.Data()), t.Data(), {t.Cut(0)});
    }
    {
        test::ScopedTimeZone tz(kUtc);
        ExpectSplitAt(SplitBytes(t.Data()), t.Data(), {t.Cut(0), t.Cut(1)});
    }
}

// | G0 open T | G1 open [pack L=135 holding T+50, T+1] | G2 open [pack L=135, T+60] |
// | G3 closed [pack L=135, T+61] | G4 open T+62 |
// A pack whose date bytes reach past the packet carries no date: it is not decoded, not counted
// and starts no check, so G1 stays in the scene, G2 cuts on its real pack, and G3 has one pack.
TEST(SceneSplitterScenes, DatePackReachingPastThePacketIsIgnored) {
    test::ScopedTimeZone tz(kUtc);
    constexpr int kTooLong = kLastFittingAdaptation + 1;
    const Bytes bad = pk::DatePack(Plus(50), kTooLong);
    ASSERT_EQ(bad[ADAPTATION_LENGTH_OFFSET], kTooLong);
    ASSERT_GE(kTooLong + kHourOffsetAfterAdaptation, PKT_SIZE);

    HandTape t;
    t.Open(Plus(0));
    t.Open({{Plus(50), kTooLong}, {Plus(1)}});
    t.Open({{Plus(50), kTooLong}, {Plus(60)}});
    t.Closed({{Plus(50), kTooLong}, {Plus(61)}});
    t.Open(Plus(62));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(2)});
}

// | G0 open T | G1 open [pack L=134 holding T+60] |
// The longest adaptation field that still leaves the date inside the packet is read.
TEST(SceneSplitterScenes, DatePackEndingAtThePacketsLastByteIsRead) {
    test::ScopedTimeZone tz(kUtc);
    const Bytes edge = pk::DatePack(Plus(60), kLastFittingAdaptation);
    ASSERT_EQ(kLastFittingAdaptation + kHourOffsetAfterAdaptation, PKT_SIZE - 1);
    ASSERT_EQ(edge[kLastFittingAdaptation + kDayOffsetAfterAdaptation], 0x01);  // day, BCD

    HandTape t;
    t.Open(Plus(0));
    t.Open({{Plus(60), kLastFittingAdaptation}});
    const Result r = SplitBytes(t.Data(), {.dateNaming = true});
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(1)});
    EXPECT_EQ(r.names, (std::vector<std::string>{"tape-2006_05_01-14_03_30.m2t",
                                                 "tape-2006_05_01-14_04_30.m2t"}));
}

// | G0 open T | G1 open T+60, 00 00 01 B7 before its group header | G2 open T+61 |
// A sequence end code ahead of the group header in the same packet hides the header: G1 gets no
// decision and its pack is not read, so G2 is compared with G0 and cuts.
TEST(SceneSplitterScenes, SequenceEndHidesTheGroupHeaderAfterIt) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Add({.closed = false, .packs = {{Plus(60)}}, .sequenceEndFirst = true});
    t.Open(Plus(61));
    const Result r = SplitBytes(t.Data());
    ExpectSplitAt(r, t.Data(), {t.Cut(0), t.Cut(2)});
}

// | G0 open T | G1 open T+1, I picture with 67 slices | G2 open T+2 | G3 open T+3 |
// The short picture is found when the next picture starts: one dropped picture, no cut.
TEST(SceneSplitterScenes, PictureWithTooFewSlicesIsCountedOnce) {
    test::ScopedTimeZone tz(kUtc);
    HandTape t;
    t.Open(Plus(0));
    t.Add({.closed = false, .packs = {{Plus(1)}}, .firstPictureSlices = kBrokenSlices});
    t.Open(Plus(2));
    t.Open(Plus(3));
    const Result r = SplitBytes(t.Data());
    EXPECT_EQ(r.dropped, 1);
    ExpectSplitAt(r, t.Data(), {t.Cut(0)});

    HandTape whole;
    whole.Open(Plus(0));
    whole.Open(Plus(1));
    EXPECT_EQ(SplitBytes(whole.Data()).dropped, 0);
}

tape::TapeOptions SmallPictures() {
    tape::TapeOptions o;
    o.pictureBytes = kSmallPictureBytes;
    return o;
}

tape::SceneSpec Scene(const tape::DateTime& start, int gops, bool closedFirst = false) {
    tape::SceneSpec s;
    s.start = start;
    s.gops = gops;
    s.closedFirstGop = closedFirst;
    return s;
}

TEST(SceneSplitterScenes, BrokenPicturesOfAGeneratedTapeAreCounted) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options = SmallPictures();
    options.brokenPictures = {5, 20, 33, 44};
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(Plus(0), 3));
    writer.AddScene(Scene(Plus(100), 2));
    const Bytes input = writer.Build();
    const Result r = SplitBytes(input, {.bufferBytes = 300 * PKT_SIZE});
    EXPECT_EQ(r.dropped, 4);
    ExpectSplitAt(r, input, writer.SceneCuts());
}

// A capture source that hands over a whole tape in one batch of one-packet-group chunks.
class WholeTapeSource : public LiveSource {
  public:
    explicit WholeTapeSource(const Bytes& tape) : m_tape(tape) {}
    std::unique_ptr<ChunkQueue> TakeChunks() override {
        if (m_given) {
            return nullptr;
        }
        m_given = true;
        constexpr std::size_t kChunk = 64 * PKT_SIZE;
        auto queue = std::make_unique<ChunkQueue>();
        for (std::size_t at = 0; at < m_tape.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, m_tape.size() - at);
            auto chunk = std::make_unique<SampleChunk>();
            chunk->pData = std::make_unique<std::uint8_t[]>(n);
            std::copy_n(m_tape.begin() + static_cast<std::ptrdiff_t>(at), n, chunk->pData.get());
            chunk->cbData = static_cast<std::int32_t>(n);
            queue->push_front(std::move(chunk));
        }
        return queue;
    }

  private:
    const Bytes& m_tape;
    bool m_given = false;
};

int LiveDropped(const Bytes& tapeBytes, bool midScenesOk, bool syncAV = false) {
    test::TempDir dir;
    WholeTapeSource source(tapeBytes);
    SceneSplitter splitter(&source, {.baseName = dir.File("cap"),
                                     .extension = "m2t",
                                     .dateTimeNaming = false,
                                     .syncAV = syncAV,
                                     .midScenesOk = midScenesOk});
    test::CapturingLog log;
    splitter.SetLog(&log);
    splitter.Run();
    return log.Dropped();
}

TEST(SceneSplitterScenes, MidSceneOptionForgivesABrokenPictureBeforeAClosedCut) {
    test::ScopedTimeZone tz(kUtc);
    constexpr int kGopLength = 15;
    tape::TapeOptions options = SmallPictures();
    options.gopLength = kGopLength;
    // The last picture of the first scene: a recording that ended mid-picture.
    options.brokenPictures = {3 * kGopLength - 1};
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(Plus(0), 3));
    writer.AddScene(Scene(Plus(100), 3, true));
    const Bytes input = writer.Build();

    EXPECT_EQ(LiveDropped(input, true), 0);
    EXPECT_EQ(LiveDropped(input, true, true), 0);
    EXPECT_EQ(LiveDropped(input, false), 1);
}

TEST(SceneSplitterScenes, MidSceneOptionStillCountsBrokenPicturesWithinAScene) {
    test::ScopedTimeZone tz(kUtc);
    constexpr int kGopLength = 15;
    const struct {
        const char* what;
        long picture;
    } cases[] = {
        {"the last picture of a group", 2 * kGopLength - 1},
        {"the first picture of a group (its I-picture)", 2 * kGopLength},
        {"a picture inside a group", 2 * kGopLength + 5},
    };
    for (const bool closed : {false, true}) {
        for (const auto& c : cases) {
            for (const bool sync : {false, true}) {
                tape::TapeOptions options = SmallPictures();
                options.gopLength = kGopLength;
                options.closedGops = closed;
                options.brokenPictures = {c.picture};
                tape::TapeWriter writer(options);
                writer.AddScene(Scene(Plus(0), 5));
                EXPECT_EQ(LiveDropped(writer.Build(), true, sync), 1)
                    << c.what << (closed ? ", closed groups" : ", open groups")
                    << (sync ? ", sync mode" : "");
            }
        }
    }
}

// The input begins with groups without dates, more than a read buffer of them, so the first
// write opens a "-noTime-" file before the first date is seen. When that date then starts a
// scene, the open file must be finished up to the cut: no byte between the last write and the
// cut may go missing.
TEST(SceneSplitterScenes, FirstDateAfterTheFirstWriteLeavesNoHole) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeWriter writer(SmallPictures());
    tape::SceneSpec undated = Scene(Plus(0), 3);
    undated.noDates = true;
    writer.AddScene(undated);
    writer.AddScene(Scene(Plus(600), 2));
    writer.AddScene(Scene(Plus(1200), 2));
    const Bytes input = writer.Build();
    const auto cuts = writer.SceneCuts();
    for (const std::size_t packets : {100, 400}) {
        SCOPED_TRACE("buffer of " + std::to_string(packets) + " packets");
        ASSERT_LT(packets * PKT_SIZE, cuts[1]);
        const Result r = SplitBytes(input, {.dateNaming = true, .bufferBytes = packets * PKT_SIZE});
        EXPECT_EQ(r.names, (std::vector<std::string>{"tape-2006_05_01-14_13_30.m2t",
                                                     "tape-2006_05_01-14_23_30.m2t",
                                                     "tape-noTime-0000.m2t"}));
        ASSERT_EQ(r.files.size(), 3u);
        // In cut order: the undated start, then the two dated scenes.
        Result ordered;
        ordered.files = {r.files[2], r.files[0], r.files[1]};
        ordered.names = {r.names[2], r.names[0], r.names[1]};
        ExpectSplitAt(ordered, input, cuts);
    }
}

// A tape whose first scene has no date at all, shorter than a read: each scene has a file, the
// undated one under a name of its own, and the files joined in the order of the tape are the tape.
TEST(SceneSplitterScenes, UndatedFirstSceneKeepsAFileOfItsOwn) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeWriter writer(SmallPictures());
    tape::SceneSpec undated = Scene(Plus(0), 2);
    undated.noDates = true;
    writer.AddScene(undated);
    writer.AddScene(Scene(Plus(600), 3));
    writer.AddScene(Scene(Plus(1200), 2, true));
    const Bytes input = writer.Build();
    const auto cuts = writer.SceneCuts();
    struct Case {
        bool dateNaming;
        std::vector<std::string> names;  // in the order of the tape
    };
    const std::vector<Case> cases = {
        {false, {"tape-0000.m2t", "tape-0001.m2t", "tape-0002.m2t"}},
        {true,
         {"tape-noTime-0000.m2t", "tape-2006_05_01-14_13_30.m2t", "tape-2006_05_01-14_23_30.m2t"}},
    };
    for (const Case& c : cases) {
        for (const std::size_t buffer : {std::size_t{0}, std::size_t{300 * PKT_SIZE}}) {
            SCOPED_TRACE(std::string(c.dateNaming ? "dates" : "counter") + ", buffer " +
                         std::to_string(buffer));
            const Result r = SplitBytes(input, {.dateNaming = c.dateNaming, .bufferBytes = buffer});
            Result ordered;
            for (const auto& name : c.names) {
                const auto at = std::find(r.names.begin(), r.names.end(), name);
                ASSERT_NE(at, r.names.end()) << name << " in " << ::testing::PrintToString(r.names);
                ordered.names.push_back(name);
                ordered.files.push_back(r.files[static_cast<std::size_t>(at - r.names.begin())]);
            }
            EXPECT_EQ(r.names.size(), c.names.size());
            ExpectSplitAt(ordered, input, cuts);
        }
    }
}

// The first scene starts with a closed group carrying one date pack, so it never gets a decision
// of its own; when the second scene's cut comes, no file is open yet. Each scene must still get
// its own file, whatever the buffer size.
TEST(SceneSplitterScenes, UndecidedFirstSceneGetsItsOwnFile) {
    test::ScopedTimeZone tz(kUtc);
    for (const int firstGops : {1, 3}) {
        tape::TapeWriter writer(SmallPictures());
        writer.AddScene(Scene(Plus(0), firstGops, true));
        writer.AddScene(Scene(Plus(600), 3));
        const Bytes input = writer.Build();
        const auto cuts = writer.SceneCuts();
        ASSERT_EQ(cuts.front(), 0u);
        for (const std::size_t buffer : {std::size_t{0}, std::size_t{200 * PKT_SIZE}}) {
            SCOPED_TRACE("groups " + std::to_string(firstGops) + ", buffer " +
                         std::to_string(buffer));
            const Result r = SplitBytes(input, {.bufferBytes = buffer});
            EXPECT_EQ(r.names, (std::vector<std::string>{"tape-0000.m2t", "tape-0001.m2t"}));
            ExpectSplitAt(r, input, cuts);
            EXPECT_EQ(r.counter, 2);
        }
    }
}

TEST(SceneSplitterScenes, UndecidedFirstSceneIsNamedFromItsOwnDate) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options = SmallPictures();
    options.closedGops = true;  // no group of the first scene ever decides
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(At(2006, 5, 1, 14, 3, 59), 1));
    writer.AddScene(Scene(At(2006, 5, 1, 18, 0, 0), 2));
    const Bytes input = writer.Build();
    const Result r = SplitBytes(input, {.dateNaming = true});
    EXPECT_EQ(r.names, (std::vector<std::string>{"tape-2006_05_01-14_03_59.m2t",
                                                 "tape-2006_05_01-18_00_00.m2t"}));
    ExpectSplitAt(r, input, writer.SceneCuts());
}

}  // namespace
}  // namespace vornak
