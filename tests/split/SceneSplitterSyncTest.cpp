// The audio and video sync mode through the public interface: each stream copied exactly across
// the scene files, the audio cut by presentation time, the even interleave, full buffers, the end
// of input, stop requests, the 33-bit clock wrap, random damage and a real demuxer's view;
// recordings whose clocks restart, jump or wrap, listened to; the order of the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "LiveSource.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "ToneTape.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using PacketList = std::vector<Bytes>;
namespace pk = tape::packets;

constexpr const char* kUtc = "UTC0";
constexpr std::size_t kSmallPictureBytes = 3000;  // about seventeen packets per picture
constexpr std::uint64_t kClockWrap = std::uint64_t{1} << 33;
constexpr std::uint64_t kHalfWrap = std::uint64_t{1} << 32;
constexpr std::uint8_t kPtsFlag = 0x80;
constexpr std::uint8_t kDtsFlag = 0x40;
constexpr std::uint8_t kPayloadOnly = 0x10;
constexpr std::uint8_t kFiller = 0xFF;
constexpr std::uint8_t kSerialMark = 0x80;  // serial bytes never form a start code
constexpr std::size_t kSerialOffset = TS_HEADER_SIZE;
constexpr std::size_t kDatePackSerialOffset = PKT_SIZE - 1;  // stuffing after the date fields
constexpr std::size_t kAudioFrameBytes = 12;
constexpr int kDateAdaptation = 7;
constexpr int kWidth = 1440;
constexpr int kHeight = 1080;
constexpr int kDateBeyondPacket = 183;  // the adaptation field fills the packet

const tape::DateTime kDay1{2006, 5, 1, 14, 3, 59};
const tape::DateTime kDay1Later{2006, 5, 1, 15, 0, 0};
const tape::DateTime kDay2{2006, 5, 2, 9, 30, 15};
const tape::DateTime kDay3{2006, 5, 3, 11, 0, 0};

bool IsAudio(const std::uint8_t* packet) {
    const int id = pid(packet);
    return id == PID_AUDIO || id == PID_AUDIO_2;
}

std::uint64_t Timestamp(const std::uint8_t* b) {
    return (std::uint64_t((b[0] >> 1) & 0x07) << 30) | (std::uint64_t(b[1]) << 22) |
           (std::uint64_t(b[2] >> 1) << 15) | (std::uint64_t(b[3]) << 7) | (b[4] >> 1);
}

// The PTS (or DTS) of a packet that starts a PES packet, when it carries one.
std::optional<std::uint64_t> PesStamp(const std::uint8_t* packet, bool dts) {
    if (!payload_unit_start_indicator(packet)) {
        return std::nullopt;
    }
    std::size_t pes = TS_HEADER_SIZE;
    if (has_adaptation_field(packet)) {
        pes += 1 + packet[ADAPTATION_LENGTH_OFFSET];
    }
    if (pes + PES_PTS_OFFSET + 2 * TIMESTAMP_SIZE > PKT_SIZE) {
        return std::nullopt;
    }
    const std::uint8_t flags = packet[pes + PES_FLAGS_OFFSET];
    if ((flags & kPtsFlag) == 0 || (dts && (flags & kDtsFlag) == 0)) {
        return std::nullopt;
    }
    return Timestamp(packet + pes + PES_PTS_OFFSET + (dts ? TIMESTAMP_SIZE : 0));
}

bool AtOrAfter(std::uint64_t pts, std::uint64_t reference) {
    return ((pts - reference) % kClockWrap) < kHalfWrap;
}

// Where a picture group's sound begins: a third of the way from decoding to presentation.
std::uint64_t CutTime(const std::uint8_t* firstVideoPacket) {
    const auto pts = PesStamp(firstVideoPacket, false);
    const auto dts = PesStamp(firstVideoPacket, true);
    EXPECT_TRUE(pts && dts) << "the group's first video packet lacks a PTS or DTS";
    if (!pts || !dts) {
        return 0;
    }
    return (*dts + ((*pts - *dts) % kClockWrap) / 3) % kClockWrap;
}

PacketList ToPackets(const Bytes& bytes) {
    EXPECT_EQ(bytes.size() % PKT_SIZE, 0u) << "not whole packets";
    PacketList out;
    for (std::size_t at = 0; at + PKT_SIZE <= bytes.size(); at += PKT_SIZE) {
        out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + PKT_SIZE));
    }
    return out;
}

// The two streams the sync mode buffers apart: PIDs 0x814 and 0x815, and everything else.
struct Streams {
    PacketList audio;
    PacketList other;
};

Streams Separate(const PacketList& packets) {
    Streams s;
    for (const auto& p : packets) {
        (IsAudio(p.data()) ? s.audio : s.other).push_back(p);
    }
    return s;
}

PacketList Range(const PacketList& list, std::size_t from, std::size_t to) {
    return PacketList(list.begin() + static_cast<std::ptrdiff_t>(from),
                      list.begin() + static_cast<std::ptrdiff_t>(to));
}

void ExpectSamePackets(const PacketList& got, const PacketList& want, const std::string& what) {
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    EXPECT_TRUE(got == want) << what << ": " << got.size() << " packets for " << want.size()
                             << ", first difference at " << (diff.first - got.begin());
}

// An input file and an output folder, gone after the test.
class Workspace {
  public:
    Workspace() : m_out(m_dir.File("out")) { std::filesystem::create_directory(m_out); }
    const std::string& WriteInput(const Bytes& bytes) {
        test::WriteAll(m_input, bytes);
        return m_input;
    }
    const std::string& Input() const { return m_input; }
    std::string Base() const { return m_out + "/tape"; }
    std::string Out(const std::string& name) const { return m_out + "/" + name; }
    std::vector<std::string> Outputs() const { return test::ListFiles(m_out); }
    const std::string& OutDir() const { return m_out; }

  private:
    test::TempDir m_dir;
    std::string m_out;
    std::string m_input = m_dir.File("in.m2t");
};

struct SyncSettings {
    std::size_t readBuffer = 0;  // 0: the engine's own sizes
    std::size_t audioBuffer = 0;
    bool dateNaming = false;
    StopFlag* stop = nullptr;
};

std::int32_t SplitSync(const Workspace& ws, LogSink& log, const SyncSettings& s = {}) {
    SceneSplitter splitter(ws.Input(), {.baseName = ws.Base(),
                                        .extension = "m2t",
                                        .stopFlag = s.stop,
                                        .dateTimeNaming = s.dateNaming,
                                        .syncAV = true,
                                        .dateFormat = ""});
    splitter.SetLog(&log);
    if (s.readBuffer != 0) {
        splitter.SetReadBufferSize(s.readBuffer);
    }
    if (s.audioBuffer != 0) {
        splitter.SetAudioBufferSize(s.audioBuffer);
    }
    splitter.Run();
    EXPECT_FALSE(splitter.Failed());
    return splitter.Counter();
}

std::string CountName(int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "tape-%04d.m2t", n);
    return buf;
}

// ---------------------------------------------------------------------------------------------
// Tapes from the generator: where each file must begin in each stream.

// Hands a tape over a few packets at a time, as a camcorder's stream arrives, and says the
// camcorder is gone, as the capture session does, when the tape has run out.
class ArrivingTape : public LiveSource {
  public:
    ArrivingTape(Bytes tape, LogSink& log) : m_tape(std::move(tape)), m_log(log) {}
    std::unique_ptr<ChunkQueue> TakeChunks() override {
        auto queue = std::make_unique<ChunkQueue>();
        m_waiting = !m_waiting;
        if (m_waiting) {
            return queue;  // nothing arrived since: the job goes on with what it has
        }
        if (m_at >= m_tape.size()) {
            m_log.AddLog(LogSeverity::Error, kLost);
            return nullptr;
        }
        const std::size_t size = std::min(kChunkBytes, m_tape.size() - m_at);
        auto chunk = std::make_unique<SampleChunk>();
        chunk->pData = std::make_unique<std::uint8_t[]>(size);
        std::copy_n(m_tape.begin() + static_cast<std::ptrdiff_t>(m_at), size, chunk->pData.get());
        chunk->cbData = static_cast<std::int32_t>(size);
        m_at += size;
        queue->push_front(std::move(chunk));
        return queue;
    }
    static constexpr const char* kLost = "ERROR: The camcorder was disconnected during capturing.";

  private:
    static constexpr std::size_t kChunkBytes = 40 * PKT_SIZE;
    Bytes m_tape;
    LogSink& m_log;
    std::size_t m_at = 0;
    bool m_waiting = false;
};

struct TapeCase {
    std::string name;
    tape::TapeOptions options;
    std::vector<tape::SceneSpec> scenes;
    // The group whose cut starts each file, as (scene, group within the scene); a scene of -1
    // means the file starts at the tape's first packet.
    std::vector<std::pair<int, int>> fileStarts;
    SyncSettings settings;
    bool perFile = true;  // false: buffers so small that a full one may spill into a file early
    std::vector<std::string> names;  // expected file names; empty: tape-0000.m2t and on
    int stopAtFile = -1;  // request a stop when this file is created: nothing goes into it
    // The job's input begins this many packets into the tape's group of this index, as a
    // capture may: the first file is then a fragment (a start of -1), and groups before the
    // input's first are not counted in `fileStarts`.
    std::size_t intoGroupPackets = 0;
    int intoGroup = -1;
    bool live = false;  // the tape arrives as a capture does, not from a file
};

tape::SceneSpec Scene(const tape::DateTime& start, int gops = 3, bool closedFirst = false,
                      bool secondDate = false, bool noDates = false) {
    tape::SceneSpec s;
    s.start = start;
    s.gops = gops;
    s.closedFirstGop = closedFirst;
    s.secondDatePack = secondDate;
    s.noDates = noDates;
    return s;
}

TapeCase Case(std::string name, std::vector<tape::SceneSpec> scenes,
              std::vector<std::pair<int, int>> fileStarts) {
    TapeCase c;
    c.name = std::move(name);
    c.scenes = std::move(scenes);
    c.fileStarts = std::move(fileStarts);
    return c;
}

struct FileStart {
    std::size_t other = 0;  // index into the input's non-audio packets
    std::size_t audio = 0;  // index into the input's audio packets
    const tape::GopInfo* gop = nullptr;
    std::uint64_t cutTime = 0;
};

FileStart StartOfGroup(const PacketList& input, const tape::GopInfo& gop) {
    FileStart start;
    start.gop = &gop;
    start.cutTime = CutTime(input[gop.firstVideoPacket / PKT_SIZE].data());
    bool audioFound = false;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const std::uint8_t* p = input[i].data();
        const std::uint64_t offset = i * PKT_SIZE;
        if (!IsAudio(p)) {
            start.other += offset < gop.cut ? 1 : 0;
            continue;
        }
        if (audioFound) {
            continue;
        }
        const auto pts = pid(p) == PID_AUDIO ? PesStamp(p, false) : std::nullopt;
        if (offset > gop.firstVideoPacket && pts && AtOrAfter(*pts, start.cutTime)) {
            audioFound = true;
        } else {
            ++start.audio;
        }
    }
    EXPECT_TRUE(audioFound) << "no audio after the group's cut time";
    return start;
}

void RunTapeCase(const TapeCase& c) {
    SCOPED_TRACE(c.name);
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options = c.options;
    if (options.pictureBytes == 0) {
        options.pictureBytes = kSmallPictureBytes;
    }
    tape::TapeWriter writer(options);
    for (const auto& scene : c.scenes) {
        writer.AddScene(scene);
    }
    Workspace ws;
    const Bytes tapeBytes = writer.Build();
    std::vector<tape::GopInfo> gops = writer.Gops();
    std::uint64_t skip = 0;
    if (c.intoGroup >= 0) {
        skip = gops[static_cast<std::size_t>(c.intoGroup)].firstVideoPacket +
               c.intoGroupPackets * PKT_SIZE;
        std::erase_if(gops, [&](const tape::GopInfo& gop) { return gop.cut < skip; });
        for (auto& gop : gops) {
            gop.cut -= skip;
            gop.firstVideoPacket -= skip;
        }
    }
    const Bytes inputBytes(tapeBytes.begin() + static_cast<std::ptrdiff_t>(skip), tapeBytes.end());
    ws.WriteInput(inputBytes);
    const PacketList input = ToPackets(inputBytes);
    const Streams in = Separate(input);

    std::vector<FileStart> starts;
    for (const auto& [scene, group] : c.fileStarts) {
        if (scene < 0) {
            starts.push_back({});
            continue;
        }
        int seen = 0;
        for (const auto& gop : gops) {
            if (gop.scene == scene && seen++ == group) {
                starts.push_back(StartOfGroup(input, gop));
            }
        }
    }
    ASSERT_EQ(starts.size(), c.fileStarts.size());

    std::vector<std::string> names = c.names;
    for (int i = static_cast<int>(names.size()); i < static_cast<int>(starts.size()); ++i) {
        names.push_back(CountName(i));
    }
    // Files with content; with a stop, the stopping file is removed again and no later one
    // appears.
    const std::size_t full =
        c.stopAtFile >= 0 ? static_cast<std::size_t>(c.stopAtFile) : names.size();
    const std::string stopFile = c.stopAtFile >= 0 ? ws.Out(names[full]) : "";
    names.resize(full);
    StopFlag stop{0};
    test::StoppingLog log(stop, c.stopAtFile >= 0 ? "Creating new file: " + stopFile : "");
    SyncSettings settings = c.settings;
    settings.stop = &stop;
    std::int32_t counter = 0;
    if (c.live) {
        ArrivingTape arriving(inputBytes, log);
        SceneSplitter splitter(&arriving, {.baseName = ws.Base(),
                                           .extension = "m2t",
                                           .stopFlag = &stop,
                                           .dateTimeNaming = settings.dateNaming,
                                           .syncAV = true,
                                           .dateFormat = ""});
        splitter.SetLog(&log);
        if (settings.readBuffer != 0) {
            splitter.SetReadBufferSize(settings.readBuffer);
        }
        splitter.Run();
        EXPECT_FALSE(splitter.Failed());
        counter = splitter.Counter();
    } else {
        counter = SplitSync(ws, log, settings);
    }
    std::vector<std::string> sortedNames = names;
    std::sort(sortedNames.begin(), sortedNames.end());
    ASSERT_EQ(ws.Outputs(), sortedNames);
    if (c.names.empty()) {
        EXPECT_EQ(counter, static_cast<std::int32_t>(names.size()));
    }
    EXPECT_EQ(log.Written(), test::Concat(ws.OutDir(), names).size());
    // A fragment is said, with its size; nothing else is warned of.
    std::vector<std::string> warnings;
    if (!names.empty() && names[0].ends_with("-fragment.m2t")) {
        warnings.push_back("WARNING: The stream begins inside a picture group: its first " +
                           std::to_string(test::ReadAll(ws.Out(names[0])).size()) +
                           " bytes are kept apart in " + ws.Out(names[0]));
        ASSERT_FALSE(log.Scenes().empty());
        EXPECT_TRUE(log.Scenes().front().fragment);
    }
    EXPECT_EQ(log.LinesStartingWith("WARNING"), warnings);
    if (c.stopAtFile >= 0) {
        EXPECT_EQ(log.Lines().back(),
                  "Removed the empty file (the job was stopped before anything went into it): " +
                      stopFile);
    }
    const auto audioEnd = [&](std::size_t f) {
        return f < starts.size() ? starts[f].audio : in.audio.size();
    };
    const auto otherEnd = [&](std::size_t f) {
        return f < starts.size() ? starts[f].other : in.other.size();
    };

    // Across all files, each stream is the input's from its first cut on.
    const Streams all = Separate(ToPackets(test::Concat(ws.OutDir(), names)));
    ExpectSamePackets(all.audio, Range(in.audio, starts[0].audio, audioEnd(full)), "audio");
    ExpectSamePackets(all.other, Range(in.other, starts[0].other, otherEnd(full)), "other");
    if (!c.perFile) {
        return;
    }
    for (std::size_t f = 0; f < full; ++f) {
        SCOPED_TRACE(names[f]);
        const PacketList got = ToPackets(test::ReadAll(ws.Out(names[f])));
        const Streams file = Separate(got);
        ExpectSamePackets(file.audio, Range(in.audio, starts[f].audio, audioEnd(f + 1)), "audio");
        ExpectSamePackets(file.other, Range(in.other, starts[f].other, otherEnd(f + 1)), "other");
        ASSERT_FALSE(got.empty());
        // The file opens with its group's video side, never with the previous scene's sound.
        EXPECT_FALSE(IsAudio(got.front().data()));
        if (starts[f].gop == nullptr) {
            continue;
        }
        const auto firstVideo = std::find_if(
            got.begin(), got.end(), [](const Bytes& p) { return pid(p.data()) == PID_VIDEO; });
        ASSERT_NE(firstVideo, got.end());
        EXPECT_EQ(*firstVideo, input[starts[f].gop->firstVideoPacket / PKT_SIZE])
            << "the first video packet is not the group's first";
        const auto firstAudio = std::find_if(
            got.begin(), got.end(), [](const Bytes& p) { return pid(p.data()) == PID_AUDIO; });
        ASSERT_NE(firstAudio, got.end());
        const auto pts = PesStamp(firstAudio->data(), false);
        ASSERT_TRUE(pts.has_value()) << "the first audio packet starts no PES packet";
        EXPECT_TRUE(AtOrAfter(*pts, starts[f].cutTime))
            << "first audio PTS " << *pts << " before the cut time " << starts[f].cutTime;
    }
}

TEST(SceneSplitterSync, EachStreamIsCopiedExactlyAcrossTheSceneFiles) {
    const std::vector<std::pair<int, int>> firstGroups = {{0, 0}, {1, 0}, {2, 0}};
    std::vector<TapeCase> cases;
    cases.push_back(Case("open first groups, engine's own buffers",
                         {Scene(kDay1), Scene(kDay1Later), Scene(kDay2)}, firstGroups));
    // The third scene continues the second's clock and is cut by its second date pack.
    cases.push_back(Case("closed first groups, second date pack, 12-picture groups",
                         {Scene(kDay1), Scene(kDay1Later, 3, true),
                          Scene(tape::AddSeconds(kDay1Later, 1), 3, true, true), Scene(kDay2)},
                         {{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    cases.back().options.gopLength = 12;
    cases.back().settings.readBuffer = 397 * PKT_SIZE;  // refills fall at ever other places
    cases.push_back(Case("a damaged date pack moves the cut to the next group",
                         {Scene(kDay1), Scene(kDay1Later), Scene(kDay2)},
                         {{0, 0}, {1, 1}, {2, 0}}));
    cases.back().options.damagedDatePacks = {3};  // the second scene's first pack
    // Closed groups with one date pack never flush: the buffers fill and flush at the cuts.
    cases.push_back(Case("closed groups only, small buffers",
                         {Scene(kDay1), Scene(kDay1Later), Scene(kDay2), Scene(kDay3)},
                         {{-1, 0}, {1, 0}, {2, 0}, {3, 0}}));
    cases.back().options.closedGops = true;
    cases.back().settings.readBuffer = 500 * PKT_SIZE + 77;
    cases.back().settings.audioBuffer = 300 * PKT_SIZE;
    cases.push_back(Case("tiny buffers: refills and full buffers everywhere",
                         {Scene(kDay1), Scene(kDay1Later, 2, true), Scene(kDay2)}, firstGroups));
    cases.back().settings.readBuffer = 23 * PKT_SIZE + 5;
    cases.back().settings.audioBuffer = 9 * PKT_SIZE + 100;
    cases.back().perFile = false;
    for (const auto& c : cases) {
        RunTapeCase(c);
    }
}

// The first scene of this tape never cuts (a closed group with one date pack), so no file is
// open when the second scene's date jump cuts: the first scene still gets a file of its own,
// named after its own first date, as every other scene is.
TEST(SceneSplitterSync, CutWithoutAnOpenFileGivesTheEarlierSceneAFileOfItsOwn) {
    TapeCase c = Case("closed groups only, date naming",
                      {Scene(kDay1), Scene(kDay1Later), Scene(kDay2)}, {{-1, 0}, {1, 0}, {2, 0}});
    c.options.closedGops = true;
    c.settings.dateNaming = true;
    c.names = {"tape-2006_05_01-14_03_59.m2t", "tape-2006_05_01-15_00_00.m2t",
               "tape-2006_05_02-09_30_15.m2t"};
    RunTapeCase(c);
}

// A tape whose first recording has no dates at all: its packets go into a file of their own,
// numbered or named "-noTime-", rather than nowhere before the first date's cut; also when the
// undated part overflows the buffers before any cut.
TEST(SceneSplitterSync, UndatedFirstSceneKeepsAFileOfItsOwn) {
    struct Variant {
        std::string name;
        bool dateNaming;
        bool live;
        std::size_t readBuffer;  // 0: the engine's own
    };
    const std::vector<Variant> variants = {
        {"counter", false, false, 0},
        {"dates", true, false, 0},
        {"dates, captured", true, true, 0},
        {"counter, captured, small buffer", false, true, 211 * PKT_SIZE},
        {"dates, small buffer", true, false, 211 * PKT_SIZE},
    };
    for (const Variant& v : variants) {
        TapeCase c = Case("undated first scene, " + v.name,
                          {Scene(kDay1, 2, false, false, true), Scene(kDay1Later), Scene(kDay2)},
                          {{-1, 0}, {1, 0}, {2, 0}});
        c.settings.dateNaming = v.dateNaming;
        c.settings.readBuffer = v.readBuffer;
        c.live = v.live;
        if (v.dateNaming) {
            c.names = {"tape-noTime-0000.m2t", "tape-2006_05_01-15_00_00.m2t",
                       "tape-2006_05_02-09_30_15.m2t"};
        }
        RunTapeCase(c);
    }
}

// A capture may begin, and the stream after a break does begin, inside a picture group. The
// video before the job's first whole group, with the sound before that group's, goes into a
// fragment file, with a warning; every scene file begins at a group, and the files together
// hold every packet of the input.
TEST(SceneSplitterSync, JobStartingInsideAGroupKeepsThatPartInAFragment) {
    constexpr std::size_t kIntoGroupPackets = 10;
    struct Variant {
        int group;  // group 1 goes on with scene 0; group 3 is scene 0's last
        bool dateNaming;
        std::size_t readBuffer = 0;  // small: the fragment fills it before the group is found
    };
    const std::vector<Variant> variants = {
        {1, false}, {3, false}, {3, true}, {1, false, 97 * PKT_SIZE}};
    for (const bool live : {false, true}) {
        for (const Variant& v : variants) {
            TapeCase c =
                Case(std::string(live ? "captured" : "file") + ", inside group " +
                         std::to_string(v.group) + (v.dateNaming ? ", dates" : "") + ", buffer " +
                         std::to_string(v.readBuffer),
                     {Scene(kDay1, 4, true), Scene(kDay1Later, 4, true), Scene(kDay2, 4, true)},
                     {{-1, 0}, {1, 0}, {2, 0}});
            if (v.group == 1) {
                c.fileStarts.insert(c.fileStarts.begin() + 1, {0, 0});
            }
            c.intoGroup = v.group;
            c.intoGroupPackets = kIntoGroupPackets;
            c.live = live;
            c.settings.dateNaming = v.dateNaming;
            c.settings.readBuffer = v.readBuffer;
            c.names = {"tape-0000-fragment.m2t"};
            if (v.dateNaming) {
                c.names.push_back("tape-2006_05_01-15_00_00.m2t");
                c.names.push_back("tape-2006_05_02-09_30_15.m2t");
            }
            RunTapeCase(c);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Hand-made streams. Every packet is unique, so each output packet maps back to its input index.

class Stream {
  public:
    Stream& Pat() { return Add(pk::Pat()); }
    // A video PES start carrying a sequence and group header.
    Stream& Group(std::uint64_t pts, std::uint64_t dts) {
        Bytes es = pk::SequenceHeader(kWidth, kHeight);
        const Bytes gop = pk::GopHeader(false);
        es.insert(es.end(), gop.begin(), gop.end());
        return Add(pk::VideoPes(es, m_videoCc, pts, dts));
    }
    // A video PES start without a group header.
    Stream& PesStart(std::uint64_t pts, std::uint64_t dts) {
        return Add(pk::VideoPes(Serial(), m_videoCc, pts, dts));
    }
    Stream& Video(int count = 1) { return Plain(PID_VIDEO, count); }
    Stream& Audio(std::uint64_t pts) {
        Bytes es = Serial();
        es.resize(kAudioFrameBytes, kFiller);
        return Add(pk::AudioPes(es, m_audioCc, pts));
    }
    Stream& AudioCont(int count = 1) { return Plain(PID_AUDIO, count); }
    Stream& Audio2() { return Plain(PID_AUDIO_2, 1); }
    Stream& Date(const tape::DateTime& date, int adaptation = kDateAdaptation) {
        Bytes p = pk::DatePack(date, adaptation);
        p[kDatePackSerialOffset] = static_cast<std::uint8_t>(kSerialMark | (m_serial++ & 0x7F));
        return Add(p);
    }
    const Bytes& Data() const { return m_data; }
    std::size_t Count() const { return m_data.size() / PKT_SIZE; }

    // Input packet index of each packet in `file`; -1 for one that is not in the input.
    std::vector<int> Indices(const Bytes& file) const {
        const PacketList input = ToPackets(m_data);
        std::vector<int> out;
        for (const auto& p : ToPackets(file)) {
            const auto at = std::find(input.begin(), input.end(), p);
            out.push_back(at == input.end() ? -1 : static_cast<int>(at - input.begin()));
        }
        return out;
    }

  private:
    Stream& Add(const Bytes& packet) {
        EXPECT_EQ(packet.size(), PKT_SIZE) << "one packet expected";
        m_data.insert(m_data.end(), packet.begin(), packet.end());
        return *this;
    }
    Bytes Serial() {
        const int n = m_serial++;
        return {static_cast<std::uint8_t>(kSerialMark | (n & 0x7F)),
                static_cast<std::uint8_t>(kSerialMark | ((n >> 7) & 0x7F))};
    }
    // Payload-only packets without a PES start, marked with a serial number.
    Stream& Plain(int packetPid, int count) {
        for (int i = 0; i < count; ++i) {
            Bytes p(PKT_SIZE, kFiller);
            std::uint8_t& cc = packetPid == PID_VIDEO ? m_videoCc : m_audioCc;
            p[0] = SYNC_BYTE;
            p[1] = static_cast<std::uint8_t>((packetPid >> 8) & 0x1F);
            p[2] = static_cast<std::uint8_t>(packetPid & 0xFF);
            p[3] = static_cast<std::uint8_t>(kPayloadOnly | (cc++ & 0x0F));
            const Bytes serial = Serial();
            std::copy(serial.begin(), serial.end(), p.begin() + kSerialOffset);
            Add(p);
        }
        return *this;
    }

    Bytes m_data;
    std::uint8_t m_videoCc = 0;
    std::uint8_t m_audioCc = 0;
    int m_serial = 0;
};

std::vector<int> Seq(int from, int to) {  // from..to inclusive
    std::vector<int> out;
    for (int i = from; i <= to; ++i) {
        out.push_back(i);
    }
    return out;
}

std::vector<int> Join(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// Group stamps: DTS 90000 and PTS 99000 give the cut time 93000; the second group's DTS 144000
// and PTS 151200 give 146400.
constexpr std::uint64_t kPtsA = 99000;
constexpr std::uint64_t kDtsA = 90000;
constexpr std::uint64_t kCutA = 93000;
constexpr std::uint64_t kPtsB = 151200;
constexpr std::uint64_t kDtsB = 144000;
constexpr std::uint64_t kCutB = 146400;
constexpr std::uint64_t kAudioFrameTicks = 1728;

// The input indices of each file's packets, in the order of `names`, each file closed by -2.
std::vector<int> SplitHandMade(const Stream& s, const SyncSettings& settings,
                               const std::vector<std::string>& names) {
    Workspace ws;
    ws.WriteInput(s.Data());
    test::CapturingLog log;
    SplitSync(ws, log, settings);
    EXPECT_EQ(ws.Outputs(), names);
    std::vector<int> all;
    for (const auto& name : ws.Outputs()) {
        const auto part = s.Indices(test::ReadAll(ws.Out(name)));
        all.insert(all.end(), part.begin(), part.end());
        all.push_back(-2);  // file boundary
    }
    return all;
}

std::vector<int> SplitHandMade(const Stream& s, const SyncSettings& settings = {},
                               int expectedFiles = 1) {
    std::vector<std::string> names;
    for (int i = 0; i < expectedFiles; ++i) {
        names.push_back(CountName(i));
    }
    return SplitHandMade(s, settings, names);
}

//  0     audio PTS 80000, before the first cut time: no video lies before the first group, so
//        this sound begins the first scene
//  1     PAT
//  2     group A (open): DTS 90000, PTS 99000
//  3-4   video
//  5     date D
//  6-60  55 video
//  61    audio PTS 93000               -> A's audio cut; A completes and opens the file
//  62    PID 0x815 packet
//  63    audio PTS 94728
//  64    video                         -> 61 non-audio packets before group B's video cut
//  65    group B (open): DTS 144000, PTS 151200
//  66    date D + 1 s
//  67    audio PTS 146400              -> B's audio cut; B completes: 61 V and 4 A are flushed
//  68-71 four audio packets, end of input: 2 V and 5 A remain
TEST(SceneSplitterSync, InterleaveSpreadsTheAudioEvenlyAmongTheVideo) {
    Stream s;
    s.Audio(80000).Pat().Group(kPtsA, kDtsA).Video(2).Date(kDay1).Video(55);
    s.Audio(kCutA).Audio2().Audio(kCutA + kAudioFrameTicks).Video(1);
    ASSERT_EQ(s.Count(), 65u);
    s.Group(kPtsB, kDtsB).Date(tape::AddSeconds(kDay1, 1)).Audio(kCutB).AudioCont(4);

    // 61 V and 4 A: k = 12, a head of 13 V, then each audio packet followed by 12 V.
    const std::vector<int> first = Join({Seq(1, 13),
                                         {0},
                                         Seq(14, 25),
                                         {61},
                                         Seq(26, 37),
                                         {62},
                                         Seq(38, 49),
                                         {63},
                                         Seq(50, 60),
                                         {64}});
    // 2 V and 5 A at the end: video packet v follows the first v * 5 / 2 audio packets.
    const std::vector<int> rest = {65, 67, 68, 66, 69, 70, 71};
    EXPECT_EQ(SplitHandMade(s), Join({first, rest, {-2}}));
}

//  0 PAT, 1 group A (open), 2 date D, 3-5 video
//  6     audio PTS 93000 -> A's cut: the first scene's file opens
//  7     group B (open), the very next video packet
//  8     date D + 10 s: a new scene
//  9     audio PTS 146400 -> B's cut: A's packets close the first file, B opens the second
//  10-14 video, end of input
TEST(SceneSplitterSync, SceneRightAfterTheFirstCutStartsWithItsOwnGroup) {
    Stream s;
    s.Pat().Group(kPtsA, kDtsA).Date(kDay1).Video(3).Audio(kCutA);
    ASSERT_EQ(s.Count(), 7u);
    s.Group(kPtsB, kDtsB).Date(tape::AddSeconds(kDay1, 10)).Audio(kCutB).Video(5);
    // File 0: 6 V and 1 A (k = 3); file 1: 7 V and 1 A (k = 3, head 4).
    EXPECT_EQ(SplitHandMade(s, {}, 2),
              Join({{0, 1, 2}, {6}, {3, 4, 5}, {-2}, {7, 8, 10, 11}, {9}, {12, 13, 14}, {-2}}));
}

//  0 PAT, 1 group A (open), 2 date D, 3 audio PTS 93000 -> A's cut: file opens
//  4-8   5 video
//  9     group B (open): video cut after packet 8
//  10    audio PTS 100000, before B's cut time
//  11-17 7 video: the 16-packet video buffer is full while B's sound has not begun: the 8 V
//                 before B go out with all the audio so far, 3 and 10, which belongs before B
//  18-25 8 video: full again, nothing before the cut: the buffer goes out as it is
//  26    date D + 1 s
//  27    audio PTS 120000
//  28    audio PTS 146400 -> B completes; its flush finds no video before the cut, so nothing
//                           may be written and nothing moved: 27 stays for the end
//  29-30 video, 31 audio, 32 video, end of input
TEST(SceneSplitterSync, FlushWithoutVideoBeforeTheCutWritesAndMovesNothing) {
    Stream s;
    s.Pat().Group(kPtsA, kDtsA).Date(kDay1).Audio(kCutA).Video(5);
    ASSERT_EQ(s.Count(), 9u);
    s.Group(kPtsB, kDtsB).Audio(100000).Video(7).Video(8);
    s.Date(tape::AddSeconds(kDay1, 1)).Audio(120000);
    ASSERT_EQ(s.Count(), 28u);
    s.Audio(kCutB).Video(2).Audio(kCutB + kAudioFrameTicks).Video(1);

    // 8 V and 2 A (k = 2, head 4).
    const std::vector<int> beforeB = {0, 1, 2, 4, 3, 5, 6, 10, 7, 8};
    const std::vector<int> fullBuffer = Join({{9}, Seq(11, 25)});
    // 4 V and 3 A at the end (k = 1, head 1).
    const std::vector<int> end = {26, 27, 29, 28, 30, 31, 32};
    EXPECT_EQ(SplitHandMade(s, {.readBuffer = 16 * PKT_SIZE}),
              Join({beforeB, fullBuffer, end, {-2}}));
}

//  0 group A (open), 1 date D, 2 audio PTS 93000 -> A's cut: file opens, audio cut at the start
//  3-4  video
//  5-7  audio: the 4-packet audio buffer is full and no video lies before the video cut,
//       so the audio goes out as it is
//  8    video, 9 audio, end of input: 5 V and 1 A
TEST(SceneSplitterSync, FullAudioBufferWithAFileOpenIsWrittenAsItIs) {
    Stream s;
    s.Group(kPtsA, kDtsA).Date(kDay1).Audio(kCutA).Video(2);
    s.Audio(kCutA + kAudioFrameTicks).AudioCont(2).Video(1).AudioCont(1);
    EXPECT_EQ(SplitHandMade(s, {.audioBuffer = 4 * PKT_SIZE}),
              Join({{2, 5, 6, 7}, {0, 1, 3}, {9}, {4, 8}, {-2}}));
}

//  0      group A (open)
//  1-24   24 video: the 20-packet video buffer fills before any file exists: the first file
//         opens, as a plain split's first write opens it, and its 20 packets go there
//  25-34  10 audio before A's cut time: the 8-packet audio buffer fills; its 8 packets go there
//  35     date D
//  36     audio PTS 93000 -> A's cut: the open file is finished, nothing lies before the cuts
//         any more, and the second file opens; the two older audio packets go with it
//  37 V, 38 A, 39 V, 40 A, 41 V, end of input: 9 V and 5 A (k = 1, head 4)
TEST(SceneSplitterSync, FullBuffersBeforeTheFirstDecisionAreWrittenNotDropped) {
    Stream s;
    s.Group(kPtsA, kDtsA).Video(24);
    for (int i = 0; i < 10; ++i) {
        s.Audio(80000 + static_cast<std::uint64_t>(i) * 10);
    }
    s.Date(kDay1);
    ASSERT_EQ(s.Count(), 36u);
    s.Audio(kCutA).Video(1).AudioCont(1).Video(1).AudioCont(1).Video(1);
    EXPECT_EQ(SplitHandMade(s, {.readBuffer = 20 * PKT_SIZE, .audioBuffer = 8 * PKT_SIZE}, 2),
              Join({Seq(0, 19),
                    Seq(25, 32),
                    {-2},
                    {20, 21, 22, 23, 33, 24, 34, 35, 36, 37, 38, 39, 40, 41, -2}}));
}

//  0 PAT, 1 group A (open), 2 date D, 3 audio PTS 93000 -> A's cut: file 0
//  4-5   video
//  6     group B (open), PTS 151200 but no DTS: no cut time yet
//  7     video
//  8     date D + 10 s: a new scene
//  9     audio PTS 120000: after A's cut time, but B's is not known yet: no audio cut
//  10    video PES, DTS 147600, PTS 154800: cut time 150000, video cut after packet 7
//  11    audio PTS 149000
//  12    audio PTS 150000 -> B's audio cut: file 0 gets 7 V and 3 A, file 1 opens
//  13-17 video, end of input
TEST(SceneSplitterSync, AudioCutWaitsForTheGroupsOwnCutTime) {
    Stream s;
    s.Pat().Group(kPtsA, kDtsA).Date(kDay1).Audio(kCutA).Video(2);
    s.Group(kPtsB, 0).Video(1).Date(tape::AddSeconds(kDay1, 10)).Audio(120000);
    ASSERT_EQ(s.Count(), 10u);
    s.PesStart(154800, 147600).Audio(149000).Audio(150000).Video(5);
    // File 0: 7 V and 3 A (k = 1, head 4); file 1: 7 V and 1 A (k = 3, head 4).
    const std::vector<int> file0 = {0, 1, 2, 4, 3, 5, 9, 6, 11, 7, -2};
    const std::vector<int> file1 = {8, 10, 13, 14, 12, 15, 16, 17, -2};
    EXPECT_EQ(SplitHandMade(s, {}, 2), Join({file0, file1}));
}

//  0 PAT, 1 group A (open), 2 date D, 3 audio PTS 93000 -> A's cut: file 0
//  4     video
//  5     audio PTS 94728
//  6     group B (open)
//  7     date pack whose date lies beyond the packet: no date, so B is not complete
//  8     audio PTS 146400 -> B's audio cut
//  9     video
//  10    date D + 10 s -> B completes as a new scene: file 1
//  11-15 video, end of input
TEST(SceneSplitterSync, DatePackWithoutRoomForItsDateIsNoDate) {
    Stream s;
    s.Pat().Group(kPtsA, kDtsA).Date(kDay1).Audio(kCutA).Video(1).Audio(kCutA + kAudioFrameTicks);
    s.Group(kPtsB, kDtsB).Date(kDay1, kDateBeyondPacket).Audio(kCutB).Video(1);
    s.Date(tape::AddSeconds(kDay1, 10)).Video(5);
    // File 0: 4 V and 2 A (k = 1, head 2); file 1: 10 V and 1 A (k = 5).
    EXPECT_EQ(SplitHandMade(s, {}, 2),
              Join({{0, 1, 3, 2, 5, 4, -2}, {6, 7, 9, 10, 11}, {8}, {12, 13, 14, 15, -2}}));
}

//  0 PAT
//  1     group A (open): DTS 2^33 - 3000, PTS 9000 (after the wrap): cut time 1000
//  0     video: the job began inside a group, so what lies before A's cuts is a fragment
//  1 PAT, 2 group A (open): DTS 2^33 - 3000, PTS 9000 across the wrap: cut time 1000
//  3     date D
//  4     audio PTS 2^33 - 2000: just before the wrap, so before the cut time
//  5     audio PTS 500: before the cut time across the wrap
//  6     audio PTS 1000 + 2^32: half a wrap ahead counts as before
//  7     audio PTS 1000 -> the audio cut; 4 to 6 go into the fragment with the video before A
//  8     audio PTS 2728
//  9-12  video, end of input: 7 V and 2 A (k = 2, head 3)
TEST(SceneSplitterSync, AudioCutFindsItsPlaceAcrossTheClockWrap) {
    Stream s;
    s.Video(1).Pat().Group(9000, kClockWrap - 3000).Date(kDay1);
    s.Audio(kClockWrap - 2000).Audio(500).Audio(1000 + kHalfWrap);
    s.Audio(1000).Audio(1000 + kAudioFrameTicks).Video(4);
    EXPECT_EQ(SplitHandMade(s, {}, {"tape-0000-fragment.m2t", "tape-0001.m2t"}),
              Join({{0, 4, 5, 6, -2}, {1, 2, 3}, {7}, {9, 10}, {8}, {11, 12}, {-2}}));
}

//  0 PAT, 1 group A (open), 2 date D, 3 audio PTS 93000 -> A's cut: file opens
//  4-9   video
//  10    video PES start with only three packets after it, end of input
// The picture-group scan looks six packets ahead and refills at the end of the input; the
// packets it looked at must still be copied.
TEST(SceneSplitterSync, PictureStartNearTheEndOfInputLosesNothing) {
    Stream s;
    s.Pat().Group(kPtsA, kDtsA).Date(kDay1).Audio(kCutA).Video(6);
    s.PesStart(kPtsA + 3600, kDtsA + 3600).Video(1).Audio(kCutA + kAudioFrameTicks).Video(1);
    // 12 V and 2 A at the end (k = 4, head 4).
    EXPECT_EQ(SplitHandMade(s),
              Join({{0, 1, 2, 4}, {3}, {5, 6, 7, 8}, {12}, {9, 10, 11, 13}, {-2}}));
}

// A new recording whose clock does not run on from the old one's: the old recording's sound
// that trails into the new group carries on its own clock and stays with it, and the new
// recording's sound starts with its first frame, a little before its cut time.
//  0 PAT, 1 group A (open), 2 date D, 3 audio at A's cut time -> file 0
//  4-6   video, 7 audio, 8-9 video
//  10    group B (open): its clock restarts, jumps or wraps
//  11    date D + 1 hour: a new scene
//  12-13 audio carrying on A's clock: the old recording's trailing sound
//  14    audio 1000 ticks before B's cut time: B's first frame -> file 1
//  15-16 video, 17 audio, 18-19 video, end of input
TEST(SceneSplitterSync, OldSoundStaysWithItsSceneWhereTheClockRestartsJumpsOrWraps) {
    struct Case {
        const char* name;
        std::uint64_t a;  // decoding time of A's first picture
        std::uint64_t b;  // and of B's
    };
    constexpr std::uint64_t kHour = 3600 * 90000;
    const std::vector<Case> cases = {
        {"restart", 900000, 126000},
        {"jump ahead", 126000, 126000 + kHour},
        {"wrap in the old sound, then back", kClockWrap - 4000, kClockWrap - 600000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto clock = [](std::uint64_t t) { return t % kClockWrap; };
        Stream s;
        std::vector<int> oldSound;
        std::vector<int> newSound;
        const auto sound = [&](std::vector<int>& into, std::uint64_t pts) {
            into.push_back(static_cast<int>(s.Count()));
            s.Audio(clock(pts));
        };
        const std::uint64_t cutA = c.a + 3000;
        s.Pat().Group(clock(c.a + 9000), clock(c.a)).Date(kDay1);
        sound(oldSound, cutA);
        s.Video(3);
        sound(oldSound, cutA + kAudioFrameTicks);
        s.Video(2);
        s.Group(clock(c.b + 9000), clock(c.b)).Date(tape::AddSeconds(kDay1, 3600));
        sound(oldSound, cutA + 2 * kAudioFrameTicks);
        sound(oldSound, cutA + 3 * kAudioFrameTicks);
        sound(newSound, c.b + 2000);
        s.Video(2);
        sound(newSound, c.b + 2000 + kAudioFrameTicks);
        s.Video(2);

        std::vector<std::vector<int>> fileSound(1);
        for (const int index : SplitHandMade(s, {}, 2)) {
            if (index == -2) {
                fileSound.emplace_back();
            } else if (std::find(oldSound.begin(), oldSound.end(), index) != oldSound.end() ||
                       std::find(newSound.begin(), newSound.end(), index) != newSound.end()) {
                fileSound.back().push_back(index);
            }
        }
        ASSERT_EQ(fileSound.size(), 3u);
        EXPECT_EQ(fileSound[0], oldSound);
        EXPECT_EQ(fileSound[1], newSound);
    }
}

// ---------------------------------------------------------------------------------------------
// Stop requests, random damage and an outside reader.

// The stop byte is set the moment the second scene's file is created: the first scene was
// finished before that cut, and the second's file, which nothing went into, is removed again.
TEST(SceneSplitterSync, StopRequestEndsTheJobWithTheFinishedScene) {
    TapeCase c = Case("stop at the second file", {Scene(kDay1), Scene(kDay1Later), Scene(kDay2)},
                      {{0, 0}, {1, 0}, {2, 0}});
    c.stopAtFile = 1;
    RunTapeCase(c);
    // Closed groups: the first scene's file is there from its first group on, before any cut.
    c.name = "closed groups, stop at the first file";
    c.options.closedGops = true;
    c.fileStarts = {{-1, 0}, {1, 0}, {2, 0}};
    c.stopAtFile = 0;
    RunTapeCase(c);
}

// The packets the engine's walker meets: from each sync byte, 188 bytes, then on past them.
PacketList Walk(const Bytes& data) {
    PacketList out;
    for (auto at = data.begin(); (at = std::find(at, data.end(), SYNC_BYTE)) != data.end();) {
        if (data.end() - at < static_cast<std::ptrdiff_t>(PKT_SIZE)) {
            break;
        }
        out.emplace_back(at, at + PKT_SIZE);
        at += PKT_SIZE;
    }
    return out;
}

// `got` occurs in `walk`, in order, each walked packet used at most once.
bool IsSubsequence(const PacketList& got, const PacketList& walk) {
    std::size_t j = 0;
    for (const auto& p : got) {
        while (j < walk.size() && walk[j] != p) {
            ++j;
        }
        if (j == walk.size()) {
            return false;
        }
        ++j;
    }
    return true;
}

void Damage(Bytes& data, std::mt19937& rng) {
    const auto pick = [&rng](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    const auto byte = [&rng] { return static_cast<std::uint8_t>(rng()); };
    for (std::size_t e = 1 + pick(4); e > 0 && data.size() > PKT_SIZE; --e) {
        const std::size_t at = pick(data.size());
        const auto it = data.begin() + static_cast<std::ptrdiff_t>(at);
        const std::size_t run = std::min(data.size() - at, 1 + pick(5000));
        switch (pick(6)) {
            case 0:  // scattered bit errors
                for (int i = 0; i < 40; ++i) {
                    data[pick(data.size())] ^= static_cast<std::uint8_t>(1u << pick(8));
                }
                break;
            case 1:  // packet headers in a run: PIDs, flags, adaptation and PES lengths
                for (std::size_t p = at / PKT_SIZE * PKT_SIZE; p + PKT_SIZE <= at + run;
                     p += PKT_SIZE) {
                    data[p + 1 + pick(16)] = byte();
                }
                break;
            case 2:  // bytes inserted: the packet grid shifts
                data.insert(it, 1 + pick(300), byte());
                break;
            case 3:  // bytes lost
                data.erase(it, it + static_cast<std::ptrdiff_t>(run));
                break;
            case 4:  // a burst of noise
                std::generate(it, it + static_cast<std::ptrdiff_t>(run), byte);
                break;
            default:  // cut short
                data.resize(std::max(at, PKT_SIZE));
                break;
        }
    }
}

TEST(SceneSplitterSync, RandomDamageNeitherCrashesNorInventsBytes) {
    test::ScopedTimeZone tz(kUtc);
    constexpr int kRounds = 60;
    tape::TapeOptions options;
    options.pictureBytes = 1500;
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(kDay1, 2));
    writer.AddScene(Scene(kDay1Later, 2, true));
    writer.AddScene(Scene(tape::AddSeconds(kDay1Later, 1), 2, true, true));
    writer.AddScene(Scene(kDay2, 2));
    const Bytes clean = writer.Build();

    std::mt19937 rng(0x5EED);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes input = clean;
        Damage(input, rng);
        Workspace ws;
        ws.WriteInput(input);
        const Streams walked = Separate(Walk(input));
        SyncSettings settings;
        settings.readBuffer = std::uniform_int_distribution<std::size_t>(1, 400 * PKT_SIZE)(rng);
        settings.audioBuffer = std::uniform_int_distribution<std::size_t>(1, 300 * PKT_SIZE)(rng);
        settings.dateNaming = (rng() & 1) != 0;
        test::CapturingLog log;
        SplitSync(ws, log, settings);

        std::uint64_t total = 0;
        PacketList audio;
        PacketList other;
        for (const auto& name : ws.Outputs()) {
            const Bytes file = test::ReadAll(ws.Out(name));
            total += file.size();
            ASSERT_EQ(file.size() % PKT_SIZE, 0u) << name;
            const Streams s = Separate(ToPackets(file));
            audio.insert(audio.end(), s.audio.begin(), s.audio.end());
            other.insert(other.end(), s.other.begin(), s.other.end());
        }
        EXPECT_EQ(total, log.Written());
        EXPECT_TRUE(IsSubsequence(audio, walked.audio)) << "audio not taken from the input";
        EXPECT_TRUE(IsSubsequence(other, walked.other)) << "packets not taken from the input";
    }
}

// Runs ffprobe on `path`; returns what it printed on its error stream and its exit status.
std::string ProbeErrors(const std::string& path, const test::TempDir& scratch, std::string& out) {
    const std::string command = "ffprobe -v error -show_streams '" + path + "' >'" +
                                scratch.File("out.txt") + "' 2>'" + scratch.File("err.txt") + "'";
    const int status = std::system(command.c_str());
    const Bytes shown = test::ReadAll(scratch.File("out.txt"));
    const Bytes err = test::ReadAll(scratch.File("err.txt"));
    out.assign(shown.begin(), shown.end());
    return std::string(err.begin(), err.end()) + (status != 0 ? "failed" : "");
}

TEST(SceneSplitterSync, SceneFilesReadCleanlyInFfprobe) {
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffprobe is not installed; install FFmpeg to run this check";
    }
    test::ScopedTimeZone tz(kUtc);
    tape::TapeOptions options;
    options.pictureBytes = 20000;
    tape::TapeWriter writer(options);
    for (const auto& start : {kDay1, kDay1Later, kDay2}) {
        writer.AddScene(Scene(start, 2));
    }
    Workspace ws;
    ws.WriteInput(writer.Build());
    test::CapturingLog log;
    SplitSync(ws, log);
    const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
    ASSERT_EQ(ws.Outputs(), names);
    test::TempDir scratch;
    for (const auto& path : {ws.Input(), ws.Out(names[0]), ws.Out(names[1]), ws.Out(names[2])}) {
        std::string streams;
        EXPECT_EQ(ProbeErrors(path, scratch, streams), "") << path;
        EXPECT_NE(streams.find("codec_type=video"), std::string::npos) << path;
        EXPECT_NE(streams.find("codec_type=audio"), std::string::npos) << path;
    }
}

// ---------------------------------------------------------------------------------------------
// Recordings joined as a camcorder's follow each other on a tape, listened to.

// The level of each tone in one stretch of sound: only `own` may be heard.
void ExpectOnlyTone(const std::vector<float>& sound, std::size_t first, std::size_t count, int own,
                    const std::vector<int>& tones) {
    constexpr double kHeard = 0.05;   // the clips' tone has an amplitude of 1/8
    constexpr double kSilent = 0.08;  // of the own tone's level: one stray frame is far more
    const double level = test::ToneLevel(sound, first, count, own);
    EXPECT_GT(level, kHeard) << own << " Hz at sample " << first;
    for (const int tone : tones) {
        if (tone != own) {
            EXPECT_LT(test::ToneLevel(sound, first, count, tone), kSilent * level)
                << tone << " Hz heard in the " << own << " Hz scene at sample " << first;
        }
    }
}

// Clips of one tone each, joined: each recording's clock starts anew (or jumps, or wraps) and
// its sound trails its pictures. Each scene file holds its own clip's sound packets exactly,
// and its first and last 100 ms sound its own tone and no other.
TEST(SceneSplitterSync, EachSceneFileHoldsOnlyItsOwnRecordingsSound) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed; install FFmpeg to run this check";
    }
    constexpr double kWrapSeconds = 95443.717688;  // the 33-bit clock at 90 kHz
    struct Case {
        std::string name;
        std::vector<double> clockOffsets;  // seconds, per clip
    };
    const std::vector<Case> cases = {
        {"each clock starts anew", {0, 0, 0}},
        {"the clock jumps back and ahead", {3000, 100, 50000}},
        {"the clock wraps within the second recording",
         {kWrapSeconds - 2.6, kWrapSeconds - 1.8, 0}},
    };
    // The engine's own buffers, and buffers that fill at ever other places, also while a new
    // recording's sound has not begun yet.
    const std::vector<SyncSettings> buffers = {
        {},
        {.readBuffer = 700 * PKT_SIZE},
        {.readBuffer = 1531 * PKT_SIZE, .audioBuffer = 97 * PKT_SIZE}};
    const std::vector<int> tones = {440, 660, 880};
    const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
    test::TempDir scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<test::ToneClip> clips;
        for (std::size_t i = 0; i < tones.size(); ++i) {
            clips.push_back({tones[i], 1.0, c.clockOffsets[i]});
        }
        const test::ToneTape tape = test::MakeToneTape(scratch.Path(), clips);
        ASSERT_EQ(tape.error, "");
        for (const SyncSettings& settings : buffers) {
            SCOPED_TRACE("read buffer " + std::to_string(settings.readBuffer));
            Workspace ws;
            ws.WriteInput(tape.bytes);
            test::CapturingLog log;
            SplitSync(ws, log, settings);
            ASSERT_EQ(ws.Outputs(), names);
            for (std::size_t f = 0; f < names.size(); ++f) {
                SCOPED_TRACE(names[f]);
                const Bytes file = test::ReadAll(ws.Out(names[f]));
                const std::size_t end =
                    f + 1 < tape.clipStarts.size() ? tape.clipStarts[f + 1] : tape.bytes.size();
                const Bytes clip(
                    tape.bytes.begin() + static_cast<std::ptrdiff_t>(tape.clipStarts[f]),
                    tape.bytes.begin() + static_cast<std::ptrdiff_t>(end));
                ExpectSamePackets(Separate(ToPackets(file)).audio, Separate(ToPackets(clip)).audio,
                                  "sound packets");
                const std::vector<float> sound = test::DecodeSound(ws.Out(names[f]));
                constexpr std::size_t kWindow = 4800;  // 100 ms
                ASSERT_GE(sound.size(), 2 * kWindow);
                ExpectOnlyTone(sound, 0, kWindow, tones[f], tones);
                ExpectOnlyTone(sound, sound.size() - kWindow, kWindow, tones[f], tones);
            }
        }
    }
}

// A recording whose sound comes late or never is cut at its pictures all the same. Without any
// sound the sync mode's scene files are the plain mode's, byte for byte.
TEST(SceneSplitterSync, SceneWithoutSoundIsCutAtItsPictures) {
    test::ScopedTimeZone tz(kUtc);
    for (const bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "closed groups" : "open groups");
        tape::TapeOptions options;
        options.pictureBytes = kSmallPictureBytes;
        options.audio = false;
        options.closedGops = closed;
        tape::TapeWriter writer(options);
        for (const auto& start : {kDay1, kDay1Later, kDay2}) {
            writer.AddScene(Scene(start));
        }
        Workspace sync;
        Workspace plain;
        sync.WriteInput(writer.Build());
        plain.WriteInput(test::ReadAll(sync.Input()));
        test::CapturingLog log;
        SplitSync(sync, log);
        SceneSplitter splitter(plain.Input(), {.baseName = plain.Base(),
                                               .extension = "m2t",
                                               .dateTimeNaming = false,
                                               .dateFormat = ""});
        splitter.Run();
        const std::vector<std::string> names = {CountName(0), CountName(1), CountName(2)};
        ASSERT_EQ(sync.Outputs(), names);
        ASSERT_EQ(plain.Outputs(), names);
        for (const auto& name : names) {
            EXPECT_TRUE(test::ReadAll(sync.Out(name)) == test::ReadAll(plain.Out(name))) << name;
        }
    }
}

// Each scene's file is named in the log before the next scene is, and before the stream ends:
// also where the groups are closed, which leaves a first scene without a cut of its own. The
// plain mode is held to the same order.
TEST(SceneSplitterSync, LogTellsTheEventsInTheOrderTheyHappened) {
    test::ScopedTimeZone tz(kUtc);
    struct Case {
        std::string name;
        bool closedGops;
        int scenes;
        bool live;
        bool sync = true;
    };
    const std::vector<Case> cases = {
        {"open groups", false, 3, false},
        {"closed groups", true, 3, false},
        {"closed groups, captured", true, 3, true},
        {"one scene of closed groups, captured", true, 1, true},
        {"plain mode, closed groups", true, 3, false, false},
        {"plain mode, closed groups, captured", true, 3, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tape::TapeOptions options;
        options.pictureBytes = kSmallPictureBytes;
        options.closedGops = c.closedGops;
        tape::TapeWriter writer(options);
        const std::vector<tape::DateTime> starts = {kDay1, kDay1Later, kDay2};
        for (int i = 0; i < c.scenes; ++i) {
            writer.AddScene(Scene(starts[static_cast<std::size_t>(i)], 4));
        }
        Workspace ws;
        ws.WriteInput(writer.Build());
        test::CapturingLog log;
        std::vector<std::string> want;
        ArrivingTape tape(test::ReadAll(ws.Input()), log);
        std::unique_ptr<SceneSplitter> splitter;
        SceneSplitterSettings settings{.baseName = ws.Base(),
                                       .extension = "m2t",
                                       .dateTimeNaming = false,
                                       .syncAV = c.sync,
                                       .dateFormat = "",
                                       .midScenesOk = true};
        if (c.live) {
            splitter = std::make_unique<SceneSplitter>(&tape, settings);
        } else {
            splitter = std::make_unique<SceneSplitter>(ws.Input(), settings);
            want.push_back("\r\nProcessing file: " + ws.Input());
        }
        splitter->SetLog(&log);
        splitter->Run();
        EXPECT_EQ(splitter->Result(), SplitResult::Completed);
        for (int i = 0; i < c.scenes; ++i) {
            if (i > 0) {
                want.push_back("Scene change detected.");
            }
            want.push_back("Creating new file: " + ws.Out(CountName(i)));
        }
        if (c.live) {
            want.push_back(ArrivingTape::kLost);
        }
        EXPECT_EQ(log.Lines(), want);
    }
}

}  // namespace
}  // namespace vornak
