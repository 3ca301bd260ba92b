// Scene summaries and listings: a listing finds exactly the scenes a split writes, byte for byte,
// and every scene's pictures, broken pictures and dates are those written into the tape, wherever
// the read buffer's boundaries fall.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

constexpr const char* kUtc = "UTC0";
constexpr std::size_t kPictureBytes = 4000;
constexpr int kGopLength = 15;
// Read buffers from a few dozen packets up to the engine's own, so that cuts, picture starts,
// date packs and the scene decisions meet buffer boundaries at many places.
const std::vector<std::size_t> kBufferSizes = {0, 37 * PKT_SIZE, 101 * PKT_SIZE + 50,
                                               997 * PKT_SIZE};
// Too small to hold a group until its date decides: the split then cuts late, and a listing
// must cut just as late.
constexpr std::size_t kCloggedBuffer = 16 * PKT_SIZE;

std::string Text(const std::optional<RecordingDate>& d) {
    return d ? test::IsoText(*d) : "none";
}

// What the tape generator says each scene holds.
struct Expected {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string firstDate = "none";
    std::string lastDate = "none";
    std::uint64_t pictures = 0;
    std::uint64_t broken = 0;
};

std::vector<Expected> ExpectedScenes(const tape::TapeWriter& writer, int gopLength,
                                     const std::vector<long>& brokenPictures) {
    std::vector<Expected> scenes;
    const std::vector<std::uint64_t> cuts = writer.SceneCuts();
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        Expected e;
        e.offset = cuts[i];
        e.length = (i + 1 < cuts.size() ? cuts[i + 1] : writer.Size()) - cuts[i];
        scenes.push_back(e);
    }
    const auto& gops = writer.Gops();
    for (const tape::GopInfo& gop : gops) {
        Expected& e = scenes.at(static_cast<std::size_t>(gop.scene));
        e.pictures += static_cast<std::uint64_t>(gopLength);
        if (gop.datePacks > 0) {
            if (e.firstDate == "none") {
                e.firstDate = test::IsoText(gop.date);
            }
            e.lastDate = test::IsoText(gop.date);
        }
    }
    const long lastPicture = static_cast<long>(gops.size()) * gopLength - 1;
    for (long picture : brokenPictures) {
        // A picture is known to be broken only when the next one begins.
        if (picture < lastPicture) {
            ++scenes.at(static_cast<std::size_t>(gops.at(picture / gopLength).scene)).broken;
        }
    }
    return scenes;
}

void ExpectScenes(const std::vector<SceneSummary>& got, const std::vector<Expected>& want,
                  const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::string scene = what + ", scene " + std::to_string(i);
        EXPECT_EQ(got[i].number, static_cast<std::int32_t>(i)) << scene;
        EXPECT_EQ(got[i].offset, static_cast<std::int64_t>(want[i].offset)) << scene;
        EXPECT_EQ(got[i].length, want[i].length) << scene;
        EXPECT_EQ(Text(got[i].firstDate), want[i].firstDate) << scene;
        EXPECT_EQ(Text(got[i].lastDate), want[i].lastDate) << scene;
        EXPECT_EQ(got[i].pictures, want[i].pictures) << scene;
        EXPECT_EQ(got[i].brokenPictures, want[i].broken) << scene;
    }
}

// Everything but the path, which only a split has.
void ExpectSameTally(const std::vector<SceneSummary>& a, const std::vector<SceneSummary>& b,
                     bool sameBytes, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string scene = what + ", scene " + std::to_string(i);
        EXPECT_EQ(a[i].number, b[i].number) << scene;
        if (sameBytes) {
            EXPECT_EQ(a[i].offset, b[i].offset) << scene;
            EXPECT_EQ(a[i].length, b[i].length) << scene;
        }
        EXPECT_EQ(Text(a[i].firstDate), Text(b[i].firstDate)) << scene;
        EXPECT_EQ(Text(a[i].lastDate), Text(b[i].lastDate)) << scene;
        EXPECT_EQ(a[i].pictures, b[i].pictures) << scene;
        EXPECT_EQ(a[i].brokenPictures, b[i].brokenPictures) << scene;
    }
}

struct JobResult {
    std::vector<SceneSummary> scenes;
    std::vector<std::string> lines;
    bool failed = false;
};

JobResult RunJob(const std::string& input, const std::string& base, bool listOnly, bool sync,
                 std::size_t bufferSize) {
    test::CapturingLog log;
    SceneSplitter job(input, {.baseName = base,
                              .extension = "m2t",
                              .dateTimeNaming = false,
                              .syncAV = sync,
                              .listOnly = listOnly});
    job.SetLog(&log);
    if (bufferSize > 0) {
        job.SetReadBufferSize(bufferSize);
    }
    job.Run();
    return {log.Scenes(), log.Lines(), job.Failed()};
}

// Backward jumps, closed groups with two date packs, the turn of a year inside a scene and
// across a cut, and broken pictures, one of them the last picture of a scene.
class SceneSplitterList : public ::testing::Test {
  protected:
    void SetUp() override {
        tape::TapeOptions options;
        options.pictureBytes = kPictureBytes;
        options.gopLength = kGopLength;
        options.brokenPictures = m_broken;
        m_writer = tape::TapeWriter(options);
        auto scene = [this](const tape::DateTime& start, int gops, bool closed, bool twoDates) {
            tape::SceneSpec spec;
            spec.start = start;
            spec.gops = gops;
            spec.closedFirstGop = closed;
            spec.secondDatePack = twoDates;
            m_writer.AddScene(spec);
        };
        scene(tape::DateTime{2006, 5, 1, 14, 3, 59}, 4, false, false);
        scene(tape::DateTime{2006, 5, 1, 14, 0, 0}, 3, true, false);     // backwards
        scene(tape::DateTime{2006, 12, 31, 23, 59, 58}, 5, true, true);  // into the new year
        scene(tape::DateTime{2006, 12, 31, 23, 59, 59}, 3, true, true);  // back over it
        scene(tape::DateTime{2007, 1, 1, 0, 10, 0}, 2, false, false);    // forwards
        m_tape = m_dir.File("tape.m2t");
        ASSERT_TRUE(m_writer.WriteFile(m_tape)) << m_writer.Error();
    }

    test::ScopedTimeZone m_tz{kUtc};
    test::TempDir m_dir;
    // Picture 104 is the last of the second scene; 5 and 110 lie inside scenes.
    std::vector<long> m_broken = {5, 104, 110};
    tape::TapeWriter m_writer;
    std::string m_tape;
};

TEST_F(SceneSplitterList, ListingHoldsWhatTheTapeHolds) {
    const std::vector<Expected> want = ExpectedScenes(m_writer, kGopLength, m_broken);
    ASSERT_EQ(want.size(), 5u);
    for (std::size_t buffer : kBufferSizes) {
        const JobResult listing = RunJob(m_tape, m_dir.File("none"), true, false, buffer);
        EXPECT_FALSE(listing.failed);
        ExpectScenes(listing.scenes, want, "buffer " + std::to_string(buffer));
    }
}

TEST_F(SceneSplitterList, ListingMatchesTheFilesASplitWrites) {
    std::vector<std::size_t> buffers = kBufferSizes;
    buffers.push_back(kCloggedBuffer);
    for (std::size_t buffer : buffers) {
        const std::string what = "buffer " + std::to_string(buffer);
        const std::string out = m_dir.File("out" + std::to_string(buffer));
        std::filesystem::create_directory(out);
        const JobResult split = RunJob(m_tape, out + "/s", false, false, buffer);
        const JobResult listing = RunJob(m_tape, out + "/s", true, false, buffer);

        ExpectSameTally(split.scenes, listing.scenes, true, what);
        const std::vector<std::string> files = test::ListFiles(out);
        ASSERT_EQ(files.size(), split.scenes.size()) << what;
        std::uint64_t next = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(split.scenes[i].path, out + "/" + files[i]) << what;
            EXPECT_TRUE(listing.scenes[i].path.empty()) << what;
            EXPECT_EQ(std::filesystem::file_size(out + "/" + files[i]), listing.scenes[i].length)
                << what << ", " << files[i];
            EXPECT_EQ(listing.scenes[i].offset, static_cast<std::int64_t>(next)) << what;
            next += listing.scenes[i].length;
        }
        EXPECT_EQ(next, m_writer.Size()) << what;
    }
}

TEST_F(SceneSplitterList, ListingWritesNothingAndIgnoresFilesInTheWay) {
    const std::string out = m_dir.File("busy");
    std::filesystem::create_directory(out);
    // The names a split would take first.
    test::WriteAll(out + "/s-0000.m2t", {1, 2, 3});
    test::WriteAll(out + "/s-0001.m2t", {4});
    const JobResult listing = RunJob(m_tape, out + "/s", true, false, 0);
    EXPECT_EQ(test::ListFiles(out), (std::vector<std::string>{"s-0000.m2t", "s-0001.m2t"}));
    EXPECT_EQ(test::ReadAll(out + "/s-0000.m2t"), (std::vector<std::uint8_t>{1, 2, 3}));
    ExpectScenes(listing.scenes, ExpectedScenes(m_writer, kGopLength, m_broken), "busy folder");
    for (const std::string& line : listing.lines) {
        EXPECT_NE(line.rfind("Creating new file", 0), 0u) << line;
        EXPECT_EQ(line.find("already exists"), std::string::npos) << line;
    }
}

// The sync mode writes the same scenes with their packets interleaved anew: the same pictures
// and dates, the files' own sizes, and no offset into the input.
TEST_F(SceneSplitterList, SyncScenesCountTheSamePicturesAndDates) {
    for (std::size_t buffer : {std::size_t{0}, std::size_t{101 * PKT_SIZE}}) {
        const std::string what = "buffer " + std::to_string(buffer);
        const std::string out = m_dir.File("sync" + std::to_string(buffer));
        std::filesystem::create_directory(out);
        const JobResult sync = RunJob(m_tape, out + "/s", false, true, buffer);
        const JobResult plain = RunJob(m_tape, out + "/s", true, false, buffer);
        ExpectSameTally(sync.scenes, plain.scenes, false, what);
        for (const SceneSummary& scene : sync.scenes) {
            EXPECT_EQ(scene.offset, -1) << what;
            EXPECT_EQ(std::filesystem::file_size(scene.path), scene.length) << what;
        }
    }
}

TEST(SceneSplitterListing, TapeWithoutDatesIsOneUndatedScene) {
    test::ScopedTimeZone tz(kUtc);
    test::TempDir dir;
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    options.gopLength = 12;
    tape::TapeWriter writer(options);
    tape::SceneSpec spec;
    spec.gops = 6;
    spec.noDates = true;
    writer.AddScene(spec);
    ASSERT_TRUE(writer.WriteFile(dir.File("t.m2t")));

    const JobResult listing = RunJob(dir.File("t.m2t"), dir.File("s"), true, false, 0);
    ASSERT_EQ(listing.scenes.size(), 1u);
    EXPECT_EQ(listing.scenes[0].offset, 0);
    EXPECT_EQ(listing.scenes[0].length, writer.Size());
    EXPECT_FALSE(listing.scenes[0].firstDate);
    EXPECT_FALSE(listing.scenes[0].lastDate);
    EXPECT_EQ(listing.scenes[0].pictures, 6u * 12u);
    EXPECT_DOUBLE_EQ(listing.scenes[0].DurationSeconds(), 72.0 / 25.0);
}

TEST(SceneSplitterListing, MissingInputFailsAndListsNothing) {
    test::TempDir dir;
    const JobResult listing = RunJob(dir.File("missing.m2t"), dir.File("s"), true, false, 0);
    EXPECT_TRUE(listing.failed);
    EXPECT_TRUE(listing.scenes.empty());
    EXPECT_EQ(listing.lines, (std::vector<std::string>{"\r\nWARNING: Can't open file: " +
                                                       dir.File("missing.m2t")}));
}

}  // namespace
}  // namespace vornak
