// The transport-stream job's health checks, through the job itself: tapes with damage made at
// known places give exactly those findings there (scene, picture, offset, time code, count), in
// a listing and a split, with and without the sync mode; a clean tape and the join of two
// recordings give none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SceneHealth.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

constexpr std::size_t kPictureBytes = 4000;
constexpr int kGopLength = 15;
constexpr int kAudioPid = 0x814;
constexpr int kDatePid = 0x811;
using Bytes = std::vector<std::uint8_t>;

int PidAt(const Bytes& tape, std::size_t at) {
    return ((tape[at + 1] << 8) | tape[at + 2]) & 0x1FFF;
}
bool StartsAt(const Bytes& tape, std::size_t at) {
    return (tape[at + 1] & 0x40) != 0;
}

// The offset of the `n`th packet (from 0) of `pid`; with `starts`, of those that begin a PES.
std::size_t Nth(const Bytes& tape, int pid, long n, bool starts = true) {
    for (std::size_t at = 0; at + PKT_SIZE <= tape.size(); at += PKT_SIZE) {
        if (PidAt(tape, at) == pid && (!starts || StartsAt(tape, at)) && n-- == 0) {
            return at;
        }
    }
    ADD_FAILURE() << "no such packet";
    return 0;
}

// Takes out `count` packets of `pid` from the one at `from` on, leaving other PIDs in place.
Bytes Without(Bytes tape, int pid, std::size_t from, int count) {
    for (std::size_t at = from; count > 0 && at + PKT_SIZE <= tape.size();) {
        if (PidAt(tape, at) == pid) {
            tape.erase(tape.begin() + static_cast<long>(at),
                       tape.begin() + static_cast<long>(at + PKT_SIZE));
            --count;
        } else {
            at += PKT_SIZE;
        }
    }
    return tape;
}

// The picture (global, from 0) being received at `offset`: the last that began at or before it.
long PictureAt(const Bytes& tape, std::size_t offset) {
    long picture = -1;
    for (std::size_t at = 0; at <= offset; at += PKT_SIZE) {
        if (PidAt(tape, at) == PID_VIDEO && StartsAt(tape, at)) {
            ++picture;
        }
    }
    return picture;
}

// What a finding must say, as one line.
std::string Line(int scene, HealthKind kind, std::uint64_t count, std::uint64_t picture,
                 std::int64_t offset, const std::string& timecode) {
    return "scene " + std::to_string(scene) + ": " + HealthKindName(kind) + " x" +
           std::to_string(count) + " at picture " + std::to_string(picture) + ", offset " +
           std::to_string(offset) + ", " + timecode;
}

// In order, whichever of two findings at one picture was filed first.
std::vector<std::string> Lines(const std::vector<SceneSummary>& scenes) {
    std::vector<std::string> lines;
    for (const SceneSummary& scene : scenes) {
        EXPECT_TRUE(scene.healthChecked) << scene.number;
        for (const HealthFinding& f : scene.findings) {
            EXPECT_EQ(f.first.picture, f.last.picture) << "one place each";
            lines.push_back(Line(scene.number, f.kind, f.count, f.first.picture, f.first.offset,
                                 f.first.timecode ? TimecodeText(*f.first.timecode) : "none"));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

struct Mode {
    const char* name;
    bool listOnly;
    bool sync;
    std::size_t buffer = 0;  // 0: the job's own
};
// A small buffer makes the job write out bytes soon after its decisions, and in between.
constexpr std::size_t kSmallBuffer = 101 * PKT_SIZE + 50;
const Mode kModes[] = {
    {"listing", true, false},
    {"split", false, false},
    {"sync listing", true, true},
    {"sync split", false, true},
    {"split, small buffer", false, false, kSmallBuffer},
    {"sync split, small buffer", false, true, kSmallBuffer},
};

std::vector<SceneSummary> RunJob(const std::string& input, const std::string& out, const Mode& mode,
                                 VideoDecodeCheckMaker decode = {}) {
    std::filesystem::create_directory(out);
    test::CapturingLog log;
    SceneSplitter job(input, {.baseName = out + "/s",
                              .extension = "m2t",
                              .dateTimeNaming = false,
                              .syncAV = mode.sync,
                              .listOnly = mode.listOnly,
                              .healthCheck = true,
                              .decodeCheck = std::move(decode)});
    job.SetLog(&log);
    if (mode.buffer > 0) {
        job.SetReadBufferSize(mode.buffer);
        job.SetAudioBufferSize(mode.buffer);
    }
    job.Run();
    EXPECT_FALSE(job.Failed());
    return log.Scenes();
}

Bytes Write(const std::string& path, const Bytes& tape) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(tape.data()),
              static_cast<std::streamsize>(tape.size()));
    EXPECT_TRUE(out.good()) << path;
    return tape;
}

// Two recordings of four picture groups each; the second begins at a closed group.
class TsHealthScannerJob : public ::testing::Test {
  protected:
    tape::TapeWriter Writer(tape::TapeOptions options = {}) const {
        options.pictureBytes = kPictureBytes;
        options.gopLength = kGopLength;
        tape::TapeWriter writer(options);
        writer.AddScene({tape::DateTime{2006, 5, 1, 14, 3, 59}, 4});
        writer.AddScene({tape::DateTime{2006, 5, 1, 15, 0, 0}, 4, true});
        return writer;
    }

    // Where the `picture`th picture of the tape (global) is in its scene, and its time code.
    std::string At(const tape::TapeWriter& writer, HealthKind kind, std::uint64_t count,
                   long picture, std::size_t offset) const {
        const tape::GopInfo& gop = writer.Gops().at(static_cast<std::size_t>(picture / kGopLength));
        long first = 0;
        while (writer.Gops().at(static_cast<std::size_t>(first / kGopLength)).scene != gop.scene) {
            first += kGopLength;
        }
        std::string timecode = "none";  // a time code of zero is taken as none
        if (gop.timecode != 0) {
            dv::DvTimecode tc;
            const std::uint64_t pictures = gop.timecode + picture % kGopLength;
            tc.frames = static_cast<int>(pictures % 25);
            tc.seconds = static_cast<int>(pictures / 25 % 60);
            tc.minutes = static_cast<int>(pictures / 25 / 60 % 60);
            tc.hours = static_cast<int>(pictures / 25 / 3600);
            timecode = TimecodeText(tc);
        }
        return Line(gop.scene, kind, count, static_cast<std::uint64_t>(picture - first),
                    static_cast<std::int64_t>(offset), timecode);
    }

    test::TempDir m_dir;
};

TEST_F(TsHealthScannerJob, FindsTheDamageMadeAtKnownPlaces) {
    struct Case {
        const char* what;
        tape::TapeOptions options;
        // Damages the tape and says what is to be found in it.
        std::function<std::vector<std::string>(const tape::TapeWriter&, Bytes&)> damage;
    };
    const auto none = [](const tape::TapeWriter&, Bytes&) { return std::vector<std::string>{}; };
    tape::TapeOptions broken;
    broken.brokenPictures = {37, 59};  // 59: the first scene's last picture
    tape::TapeOptions jumped;
    jumped.timecodeJumps = {2};
    tape::TapeOptions resized;
    resized.resizedGroups = {2};
    tape::TapeOptions newScene;
    newScene.resizedGroups = {4, 5, 6, 7};  // the second scene is all of another size
    const Case cases[] = {
        {"a clean tape", {}, none},
        {"a new scene with another picture size", newScene, none},
        {"three video packets from inside a picture",
         {},
         [this](const tape::TapeWriter& w, Bytes& tape) {
             const std::size_t at = Nth(tape, PID_VIDEO, 20) + 5 * PKT_SIZE;
             tape = Without(tape, PID_VIDEO, at, 3);
             const std::size_t jump = Nth(tape, PID_VIDEO, 20) + 5 * PKT_SIZE;
             // The slices in them are gone too.
             return std::vector{At(w, HealthKind::BrokenPicture, 1, 20, Nth(tape, PID_VIDEO, 20)),
                                At(w, HealthKind::PacketsLost, 3, 20, jump)};
         }},
        {"a whole audio frame, and video packets in the first scene's last picture",
         {},
         [this](const tape::TapeWriter& w, Bytes& tape) {
             const std::size_t frame = Nth(tape, kAudioPid, 40);
             const int framePackets =
                 static_cast<int>((Nth(tape, kAudioPid, 41) - frame) / PKT_SIZE);
             tape = Without(tape, kAudioPid, frame, framePackets);
             const std::size_t audioJump = Nth(tape, kAudioPid, 40);
             tape = Without(tape, PID_VIDEO, Nth(tape, PID_VIDEO, 59) + 2 * PKT_SIZE, 2);
             const std::size_t videoJump = Nth(tape, PID_VIDEO, 59) + 2 * PKT_SIZE;
             return std::vector{
                 At(w, HealthKind::PacketsLost, static_cast<std::uint64_t>(framePackets),
                    PictureAt(tape, audioJump), audioJump),
                 At(w, HealthKind::BrokenPicture, 1, 59, Nth(tape, PID_VIDEO, 59)),
                 At(w, HealthKind::PacketsLost, 2, 59, videoJump)};
         }},
        {"broken pictures", broken,
         [this](const tape::TapeWriter& w, Bytes& tape) {
             return std::vector{At(w, HealthKind::BrokenPicture, 1, 37, Nth(tape, PID_VIDEO, 37)),
                                At(w, HealthKind::BrokenPicture, 1, 59, Nth(tape, PID_VIDEO, 59))};
         }},
        {"a group's date pack taken out",
         {},
         [this](const tape::TapeWriter& w, Bytes& tape) {
             tape = Without(tape, kDatePid, Nth(tape, kDatePid, 2), 1);
             return std::vector{At(w, HealthKind::NoDatePack, 1, 30, Nth(tape, PID_VIDEO, 30))};
         }},
        {"a time code that jumps a second", jumped,
         [this](const tape::TapeWriter& w, Bytes& tape) {
             return std::vector{At(w, HealthKind::TimecodeJump, 1, 30, Nth(tape, PID_VIDEO, 30))};
         }},
        {"a group of another picture size", resized,
         [this](const tape::TapeWriter& w, Bytes& tape) {
             return std::vector{At(w, HealthKind::SequenceChange, 1, 30, Nth(tape, PID_VIDEO, 30))};
         }},
    };
    int n = 0;
    for (const Case& c : cases) {
        tape::TapeWriter writer = Writer(c.options);
        Bytes tape = writer.Build();
        std::vector<std::string> want = c.damage(writer, tape);
        std::sort(want.begin(), want.end());
        const std::string input = m_dir.File("tape" + std::to_string(n) + ".m2t");
        Write(input, tape);
        for (const Mode& mode : kModes) {
            const std::string out = m_dir.File("out" + std::to_string(n++));
            const std::vector<SceneSummary> scenes = RunJob(input, out, mode);
            EXPECT_EQ(scenes.size(), 2u) << c.what << ", " << mode.name;
            EXPECT_EQ(Lines(scenes), want) << c.what << ", " << mode.name;
        }
    }
}

TEST_F(TsHealthScannerJob, TheJoinOfTwoRecordingsLosesNothing) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    options.gopLength = kGopLength;
    tape::TapeWriter first(options);
    first.AddScene({tape::DateTime{2006, 5, 1, 14, 3, 59}, 3});
    options.seed = 7;
    tape::TapeWriter second(options);
    second.AddScene({tape::DateTime{2006, 5, 2, 9, 0, 0}, 3, true});
    Bytes tape = first.Build();
    const Bytes more = second.Build();
    tape.insert(tape.end(), more.begin(), more.end());
    const std::string input = m_dir.File("joined.m2t");
    Write(input, tape);
    int n = 0;
    for (const Mode& mode : kModes) {
        const std::vector<SceneSummary> scenes =
            RunJob(input, m_dir.File("out" + std::to_string(n++)), mode);
        EXPECT_EQ(scenes.size(), 2u) << mode.name;
        EXPECT_EQ(Lines(scenes), std::vector<std::string>{}) << mode.name;
    }
}

// Hands out a tape in chunks of `chunkPackets` packets, three chunks a call, then null.
class ChunkedLiveSource : public LiveSource {
  public:
    ChunkedLiveSource(const Bytes& tape, std::size_t chunkPackets)
        : m_tape(tape), m_chunk(chunkPackets * PKT_SIZE) {}
    std::unique_ptr<ChunkQueue> TakeChunks() override {
        if (m_at >= m_tape.size()) {
            return nullptr;
        }
        auto queue = std::make_unique<ChunkQueue>();
        for (int c = 0; c < 3 && m_at < m_tape.size(); ++c) {
            const std::size_t size = std::min(m_chunk, m_tape.size() - m_at);
            auto chunk = std::make_unique<SampleChunk>();
            chunk->pData = std::make_unique<std::uint8_t[]>(size);
            std::copy_n(m_tape.begin() + static_cast<long>(m_at), size, chunk->pData.get());
            chunk->cbData = static_cast<std::int32_t>(size);
            queue->push_front(std::move(chunk));  // newest at the front
            m_at += size;
        }
        return queue;
    }

  private:
    const Bytes& m_tape;
    std::size_t m_chunk;
    std::size_t m_at = 0;
};

// A capture run is checked as its file would be: the places' offsets count the stream's bytes.
TEST_F(TsHealthScannerJob, TheLiveFormFindsWhatTheFileHolds) {
    tape::TapeOptions options;
    options.brokenPictures = {37};
    options.timecodeJumps = {6};
    tape::TapeWriter writer = Writer(options);
    Bytes tape = writer.Build();
    tape = Without(tape, PID_VIDEO, Nth(tape, PID_VIDEO, 20) + 5 * PKT_SIZE, 3);
    tape = Without(tape, kDatePid, Nth(tape, kDatePid, 2), 1);
    const std::string input = m_dir.File("tape.m2t");
    Write(input, tape);
    const std::vector<std::string> fromFile = Lines(RunJob(input, m_dir.File("file"), kModes[0]));
    ASSERT_EQ(fromFile.size(), 5u);
    for (const bool sync : {false, true}) {
        ChunkedLiveSource source(tape, 37);
        test::CapturingLog log;
        SceneSplitter job(&source, {.baseName = m_dir.File(sync ? "sync" : "plain"),
                                    .extension = "m2t",
                                    .dateTimeNaming = false,
                                    .syncAV = sync,
                                    .listOnly = true,
                                    .healthCheck = true});
        job.SetLog(&log);
        job.SetReadBufferSize(700 * PKT_SIZE);
        job.Run();
        EXPECT_EQ(Lines(log.Scenes()), fromFile) << (sync ? "sync" : "plain");
    }
}

// Fails the PES packets it is told to, as soon as their last byte has come.
class FailingDecodeCheck : public VideoDecodeCheck {
  public:
    struct Record {
        std::set<std::uint64_t> fail;
        std::vector<std::uint64_t> tags;  // each PES packet's, in the order they began
        std::uint64_t bytes = 0;
        int flushes = 0;
    };
    explicit FailingDecodeCheck(Record& record) : m_record(record) {}
    void Feed(const std::uint8_t*, std::size_t size, bool unitStart, std::uint64_t tag) override {
        if (unitStart) {
            EndPes();
            m_record.tags.push_back(tag);
            m_tag = tag;
        }
        EXPECT_EQ(tag, m_tag);
        m_record.bytes += size;
    }
    void Flush() override {
        EndPes();
        ++m_record.flushes;
    }
    void TakeFailures(std::vector<std::uint64_t>& tags) override {
        tags.insert(tags.end(), m_failed.begin(), m_failed.end());
        m_failed.clear();
    }

  private:
    void EndPes() {
        if (m_tag != 0 && m_record.fail.count(m_tag) > 0) {
            m_failed.push_back(m_tag);
        }
        m_tag = 0;
    }
    Record& m_record;
    std::uint64_t m_tag = 0;
    std::vector<std::uint64_t> m_failed;
};

TEST_F(TsHealthScannerJob, PicturesTheDecoderFailsAreFoundWhereTheyBegan) {
    tape::TapeWriter writer = Writer();
    const Bytes tape = Write(m_dir.File("tape.m2t"), writer.Build());
    const long pictures = static_cast<long>(writer.Gops().size()) * kGopLength;
    int n = 0;
    for (const Mode& mode : kModes) {
        FailingDecodeCheck::Record record;
        // Tags of the PES packets as the job numbers them, one picture in each.
        std::vector<std::uint64_t> tags;
        const auto maker = [&record] { return std::make_unique<FailingDecodeCheck>(record); };
        record.fail = {};
        // The job's tags are learnt from a first run, then chosen pictures fail.
        RunJob(m_dir.File("tape.m2t"), m_dir.File("probe" + std::to_string(n)), mode, maker);
        ASSERT_EQ(record.tags.size(), static_cast<std::size_t>(pictures)) << mode.name;
        EXPECT_TRUE(std::is_sorted(record.tags.begin(), record.tags.end())) << mode.name;
        EXPECT_EQ(record.flushes, 1) << mode.name;
        std::uint64_t videoBytes = 0;
        for (std::size_t at = 0; at < tape.size(); at += PKT_SIZE) {
            if (PidAt(tape, at) == PID_VIDEO) {
                // 4 header bytes; the PES header of a start; the clock's adaptation field.
                const std::size_t adaptation = (tape[at + 3] & 0x20) != 0 ? tape[at + 4] + 1u : 0u;
                const std::size_t pesHeader =
                    StartsAt(tape, at) ? 9u + tape[at + 4 + adaptation + 8] : 0u;
                videoBytes += PKT_SIZE - 4 - adaptation - pesHeader;
            }
        }
        EXPECT_EQ(record.bytes, videoBytes) << mode.name;
        tags = record.tags;

        const long failed[] = {17, 44, 119};  // 44: inside the scene; 119: the tape's last
        record = {};
        for (const long picture : failed) {
            record.fail.insert(tags.at(static_cast<std::size_t>(picture)));
        }
        const std::vector<SceneSummary> scenes =
            RunJob(m_dir.File("tape.m2t"), m_dir.File("out" + std::to_string(n++)), mode, maker);
        std::vector<std::string> want;
        for (const long picture : failed) {
            want.push_back(
                At(writer, HealthKind::DecodeError, 1, picture, Nth(tape, PID_VIDEO, picture)));
        }
        EXPECT_EQ(Lines(scenes), want) << mode.name;
    }
}

}  // namespace
}  // namespace vornak
