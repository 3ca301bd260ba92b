// Scenes across refills of the read buffer: cuts just before, at and after buffer boundaries,
// date packs that arrive after a refill moved their picture group, and picture-group scans whose
// lookahead runs past the end of the buffered data.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LiveSource.h"
#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeDates.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kUtc = "UTC0";
constexpr std::size_t kSmallPictureBytes = 1500;  // about nine packets per picture
constexpr std::size_t kLookaheadPackets = 6;      // the scan needs six packets at a PES start
constexpr std::size_t kOddBytes = 100;            // buffer sizes that are no multiple of 188
// A picture group of the mixed tape takes about 365 packets. Buffers from a little more than
// one group up give many refills per tape.
constexpr std::size_t kMinSweepPackets = 400;
constexpr std::size_t kMaxSweepPackets = 1000;
constexpr std::size_t kSweepStepPackets = 2;
// Buffers smaller than a group: still far more than a group's start, its date packs and the
// scan's lookahead need (about 25 packets here).
constexpr std::size_t kMinTinyPackets = 32;
constexpr std::size_t kMinReadBufPackets = 16;  // the smallest buffer the engine takes

// The whole file in one read; the byte-wise stream iterators are far too slow for the number of
// files these tests compare.
Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes data(static_cast<std::size_t>(std::filesystem::file_size(path)));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

using test::At;

tape::SceneSpec Scene(const tape::DateTime& start, int gops, bool closed = false,
                      bool twoPacks = false) {
    tape::SceneSpec s;
    s.start = start;
    s.gops = gops;
    s.closedFirstGop = closed;
    s.secondDatePack = twoPacks;
    return s;
}

// Every kind of scene start: open and closed groups with a jump, a closed group with two packs
// and a jump, and a closed group with two packs and no jump at all.
tape::TapeWriter MixedTape() {
    tape::TapeOptions options;
    options.pictureBytes = kSmallPictureBytes;
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(At(10, 0, 0), 2));
    writer.AddScene(Scene(At(10, 5, 0), 1));
    writer.AddScene(Scene(At(10, 10, 0), 2, true));
    writer.AddScene(Scene(At(10, 15, 0), 1, true, true));
    writer.AddScene(Scene(At(10, 15, 0), 2, true, true));  // same date as the scene before
    writer.AddScene(Scene(At(10, 20, 0), 1));
    writer.AddScene(Scene(At(10, 25, 0), 2));
    return writer;
}

// A tape on disk with its ground truth.
class Tape {
  public:
    explicit Tape(tape::TapeWriter writer)
        : m_bytes(writer.Build()), m_cuts(writer.SceneCuts()), m_gops(writer.Gops()) {
        test::WriteAll(Path(), m_bytes);
    }
    // The same tape behind `stray` bytes that hold no sync byte.
    Tape(const Tape& other, std::size_t stray) : m_cuts(other.m_cuts), m_gops(other.m_gops) {
        m_bytes.reserve(stray + other.m_bytes.size());
        for (std::size_t i = 0; i < stray; ++i) {
            const auto b = static_cast<std::uint8_t>(i * 7 + 1);
            m_bytes.push_back(b == SYNC_BYTE ? 0 : b);
        }
        m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
        // The first cut stays at the input's start: no video lies before it.
        for (std::size_t i = 1; i < m_cuts.size(); ++i) {
            m_cuts[i] += stray;
        }
        for (auto& gop : m_gops) {
            gop.cut = gop.cut == 0 ? 0 : gop.cut + stray;
            gop.firstVideoPacket += stray;
        }
        test::WriteAll(Path(), m_bytes);
    }
    const Bytes& Data() const { return m_bytes; }
    std::string Path() const { return m_dir.File("in.m2t"); }
    const std::vector<std::uint64_t>& SceneCuts() const { return m_cuts; }
    const std::vector<tape::GopInfo>& Gops() const { return m_gops; }

    // Offset of the first date pack after `from`.
    std::uint64_t NextDatePack(std::uint64_t from) const {
        for (std::uint64_t at = from; at + PKT_SIZE <= m_bytes.size(); at += PKT_SIZE) {
            if (pid(&m_bytes[at]) == PID_RECORDING_DATE) {
                return at;
            }
        }
        return m_bytes.size();
    }

  private:
    test::TempDir m_dir;
    Bytes m_bytes;
    std::vector<std::uint64_t> m_cuts;
    std::vector<tape::GopInfo> m_gops;
};

// Splits with the given read buffer size (0: the engine's own) and checks that the scene files,
// in order, are the input cut at exactly the ground-truth offsets. Returns false on a mismatch.
bool SplitsAtGroundTruth(const Tape& tape, std::size_t bufferBytes) {
    SCOPED_TRACE("read buffer of " + std::to_string(bufferBytes) + " bytes");
    test::TempDir out;
    SceneSplitter splitter(
        tape.Path(), {.baseName = out.File("s"), .extension = "m2t", .dateTimeNaming = false});
    test::CapturingLog log;
    splitter.SetLog(&log);
    if (bufferBytes != 0) {
        splitter.SetReadBufferSize(bufferBytes);
    }
    splitter.Run();

    const std::vector<std::uint64_t> cuts = tape.SceneCuts();
    const std::vector<std::string> names = test::ListFiles(out.Path());
    EXPECT_EQ(names.size(), cuts.size());
    EXPECT_FALSE(splitter.Failed());
    if (names.size() != cuts.size()) {
        return false;
    }
    const Bytes& input = tape.Data();
    bool same = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Bytes got = Slurp(out.File(names[i]));
        const std::uint64_t end = i + 1 < cuts.size() ? cuts[i + 1] : input.size();
        const bool match = got.size() == end - cuts[i] &&
                           std::equal(got.begin(), got.end(),
                                      input.begin() + static_cast<std::ptrdiff_t>(cuts[i]));
        EXPECT_TRUE(match) << names[i] << ": " << got.size() << " bytes, expected input ["
                           << cuts[i] << ", " << end << ")";
        same = same && match;
    }
    EXPECT_EQ(log.Written(), input.size() - cuts.front());
    return same;
}

TEST(SceneSplitterRefill, TapeSpansSeveralBuffers) {
    const Tape tape(MixedTape());
    ASSERT_GT(tape.Data().size(), 2 * kMaxSweepPackets * PKT_SIZE);
    ASSERT_EQ(tape.SceneCuts().size(), 7u);
}

TEST(SceneSplitterRefill, SweepOfBufferSizesGivesTheSameScenes) {
    test::ScopedTimeZone tz(kUtc);
    const Tape tape(MixedTape());
    for (std::size_t packets = kMinSweepPackets; packets <= kMaxSweepPackets;
         packets += kSweepStepPackets) {
        if (!SplitsAtGroundTruth(tape, packets * PKT_SIZE)) {
            break;  // one broken size says enough
        }
    }
}

// A group whose decision stays open for its whole length (the open group right after a closed
// cut without a jump is not checked) holds its start in the buffer; when the buffer is smaller
// than the group, that must not cost the next group its header or its cut position.
TEST(SceneSplitterRefill, BufferSmallerThanAnUndecidedGroup) {
    test::ScopedTimeZone tz(kUtc);
    const Tape tape(MixedTape());
    for (std::size_t packets = kMinTinyPackets; packets < kMinSweepPackets; ++packets) {
        if (!SplitsAtGroundTruth(tape, packets * PKT_SIZE)) {
            break;
        }
    }
}

TEST(SceneSplitterRefill, BufferSizesThatAreNoMultipleOfAPacket) {
    test::ScopedTimeZone tz(kUtc);
    const Tape tape(MixedTape());
    for (std::size_t packets = kMinSweepPackets; packets <= kMaxSweepPackets; packets += 37) {
        for (const std::size_t extra : {std::size_t{1}, kOddBytes, PKT_SIZE - 1}) {
            if (!SplitsAtGroundTruth(tape, packets * PKT_SIZE + extra)) {
                return;
            }
        }
    }
}

// The first read fills the buffer from the input's first byte, so a buffer of n bytes puts the
// first boundary at input offset n. Walk that boundary packet by packet over the start of every
// scene: from before its cut, through its cut and the PES start that holds its group header
// (where the scan's lookahead crosses the end of the data), to past its date packs.
TEST(SceneSplitterRefill, FirstBoundaryWalksOverEverySceneStart) {
    test::ScopedTimeZone tz(kUtc);
    const Tape tape(MixedTape());
    int scene = -1;
    for (const auto& gop : tape.Gops()) {
        if (gop.scene == scene) {
            continue;
        }
        scene = gop.scene;
        if (gop.cut < kMinSweepPackets * PKT_SIZE) {
            continue;
        }
        const std::uint64_t firstPack = tape.NextDatePack(gop.firstVideoPacket);
        const std::uint64_t lastPack =
            gop.datePacks == 2 ? tape.NextDatePack(firstPack + PKT_SIZE) : firstPack;
        std::vector<std::uint64_t> sizes;
        for (std::uint64_t size = gop.cut - 2 * PKT_SIZE;
             size <= lastPack + (kLookaheadPackets + 2) * PKT_SIZE; size += PKT_SIZE) {
            sizes.push_back(size);
        }
        for (const std::uint64_t size : sizes) {
            if (!SplitsAtGroundTruth(tape, size)) {
                return;
            }
        }
    }
}

// The group's PES start lies in the last five packets of the first buffer, so the scan there has
// to refill before it can look ahead, and must then read the moved packets, not stale ones.
TEST(SceneSplitterRefill, ScanLookaheadCrossesTheBufferEnd) {
    test::ScopedTimeZone tz(kUtc);
    const Tape tape(MixedTape());
    for (const auto& gop : tape.Gops()) {
        if (gop.firstVideoPacket < kMinSweepPackets * PKT_SIZE) {
            continue;
        }
        for (std::size_t j = 1; j < kLookaheadPackets; ++j) {
            if (!SplitsAtGroundTruth(tape, gop.firstVideoPacket + j * PKT_SIZE)) {
                return;
            }
        }
    }
}

// The engine's own 12,582,840-byte buffer over a tape of about 30 MB. Stray bytes at the start
// shift the tape so that a scene cut lands exactly on the first buffer boundary, and then so that
// the scan of that group's header crosses it.
TEST(SceneSplitterRefill, DefaultBufferWithCutsAtItsBoundary) {
    test::ScopedTimeZone tz(kUtc);
    constexpr int kScenes = 16;
    tape::TapeWriter writer;  // full-size pictures
    for (int s = 0; s < kScenes; ++s) {
        writer.AddScene(Scene(At(12, s, 0), 1, s % 2 == 1));
    }
    const Tape plain(std::move(writer));
    ASSERT_GT(plain.Data().size(), 2 * SceneSplitter::kReadBufSize);
    const tape::GopInfo* below = nullptr;
    for (const auto& gop : plain.Gops()) {
        if (gop.firstVideoPacket + kLookaheadPackets * PKT_SIZE <= SceneSplitter::kReadBufSize) {
            below = &gop;
        }
    }
    ASSERT_NE(below, nullptr);
    ASSERT_GT(below->cut, 0u);

    const Tape cutAtBoundary(plain, SceneSplitter::kReadBufSize - below->cut);
    SplitsAtGroundTruth(cutAtBoundary, 0);

    constexpr std::size_t kPacketsBeforeEnd = 3;
    const Tape scanAcrossBoundary(plain, SceneSplitter::kReadBufSize - below->firstVideoPacket -
                                             kPacketsBeforeEnd * PKT_SIZE);
    SplitsAtGroundTruth(scanAcrossBoundary, 0);
}

// Hands out a tape in chunks of a fixed number of packets, one chunk every other call (as a
// capture whose data trickles in, so that each refill takes little), then null.
class ChunkedTape : public LiveSource {
  public:
    ChunkedTape(const Bytes& bytes, std::size_t chunkBytes) : m_bytes(bytes), m_chunk(chunkBytes) {}
    std::unique_ptr<ChunkQueue> TakeChunks() override {
        if (m_at >= m_bytes.size()) {
            return nullptr;
        }
        m_nothingNow = !m_nothingNow;
        if (m_nothingNow) {
            return std::make_unique<ChunkQueue>();
        }
        const std::size_t size = std::min(m_chunk, m_bytes.size() - m_at);
        auto chunk = std::make_unique<SampleChunk>();
        chunk->pData = std::make_unique<std::uint8_t[]>(size);
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), size, chunk->pData.get());
        chunk->cbData = static_cast<std::int32_t>(size);
        m_at += size;
        auto queue = std::make_unique<ChunkQueue>();
        queue->push_front(std::move(chunk));
        return queue;
    }

  private:
    const Bytes& m_bytes;
    std::size_t m_chunk;
    std::size_t m_at = 0;
    bool m_nothingNow = false;
};

// A tape that starts in the middle of a recording (its closed groups never decide a scene), so
// the first file is opened by a write or by the next scene's cut, when the date has moved on by
// seconds. It is named after its first date pack, as the listing and --set-mtime date it, at
// every read-buffer size, in the file and the live form, plain and in sync mode. A split
// that starts inside a group keeps that part of it in a fragment file first.
TEST(SceneSplitterRefill, FirstSceneIsNamedAfterItsFirstDateAtEveryBufferSize) {
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options;
    options.pictureBytes = kSmallPictureBytes;
    options.closedGops = true;
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(At(14, 3, 59), 8));  // its dates run to 14:04:03
    writer.AddScene(Scene(At(15, 0, 0), 2));
    const Tape tape(std::move(writer));
    // A capture starts anywhere in a group: video without a group header comes first, and is
    // written before any date is known unless the file waits for its date. The file waits in
    // the read buffer, which must hold what lies before the first date pack twice over: every
    // size from there up (the engine's own holds seconds of tape); smaller ones name the file
    // "-noTime-" as before.
    constexpr std::size_t kIntoTheGroup = 40 * PKT_SIZE;
    ASSERT_LT(kIntoTheGroup, tape.Gops()[1].firstVideoPacket);
    const Bytes midGroup(tape.Data().begin() + kIntoTheGroup, tape.Data().end());
    const test::TempDir in;
    test::WriteAll(in.File("mid.m2t"), midGroup);
    const std::vector<std::string> expected = {"t-2006_05_01-14_03_59.m2t",
                                               "t-2006_05_01-15_00_00.m2t"};
    const std::size_t tapePackets = tape.Data().size() / PKT_SIZE;
    constexpr std::size_t kStepPackets = 23;
    for (std::size_t packets = 0; packets <= tapePackets + kStepPackets;
         packets += packets == 0 ? kMinReadBufPackets : kStepPackets) {
        for (const bool mid : {false, true}) {
            const Bytes& data = mid ? midGroup : tape.Data();
            const std::string path = mid ? in.File("mid.m2t") : tape.Path();
            const std::size_t skip = mid ? kIntoTheGroup : 0;
            const std::size_t leadPackets = (tape.NextDatePack(skip) - skip) / PKT_SIZE + 1;
            if (packets != 0 && packets < 2 * (leadPackets + kLookaheadPackets)) {
                continue;
            }
            for (const bool live : {false, true}) {
                for (const bool sync : {false, true}) {
                    SCOPED_TRACE(std::to_string(packets) + " packets, " + (live ? "live" : "file") +
                                 (sync ? ", sync" : "") + (mid ? ", from mid-group" : ""));
                    test::TempDir out;
                    ChunkedTape source(data, 97 * PKT_SIZE);
                    const SceneSplitterSettings settings{
                        .baseName = out.File("t"), .extension = "m2t", .syncAV = sync};
                    std::unique_ptr<SceneSplitter> job =
                        live ? std::make_unique<SceneSplitter>(&source, settings)
                             : std::make_unique<SceneSplitter>(path, settings);
                    test::CapturingLog log;
                    job->SetLog(&log);
                    if (packets != 0) {
                        job->SetReadBufferSize(packets * PKT_SIZE);
                    }
                    job->Run();
                    const bool fragment = mid;
                    std::vector<std::string> names = expected;
                    if (fragment) {
                        names.insert(names.begin(), "t-0000-fragment.m2t");
                    }
                    const bool same = test::ListFiles(out.Path()) == names;
                    EXPECT_EQ(test::ListFiles(out.Path()), names);
                    const auto scenes = log.Scenes();
                    const std::size_t first = fragment ? 1 : 0;
                    ASSERT_GT(scenes.size(), first);
                    EXPECT_EQ(scenes[0].fragment, fragment);
                    ASSERT_TRUE(scenes[first].firstDate);
                    EXPECT_EQ(test::IsoText(*scenes[first].firstDate), "2006-05-01T14:03:59");
                    if (!same) {
                        return;  // one broken size says enough
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace vornak
