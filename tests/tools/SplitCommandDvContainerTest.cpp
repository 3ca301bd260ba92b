// vornak-split on DV in AVI and QuickTime, and DV scenes written into those containers.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "DvContainerFiles.h"
#include "DvContainerReader.h"
#include "DvTestFrames.h"
#include "SplitCommand.h"
#include "SplitRun.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using dv::test::Bytes;
using dv::test::Frames;
using test::ListFiles;
using test::TempDir;

constexpr std::size_t kFramesPerScene = 25;  // one second of 625/50

using test::RunResult;
using test::Split;

// An HDV tape of two scenes.
void WriteHdvTape(const std::string& path) {
    constexpr std::size_t kPictureBytes = 1500;
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    for (const int hour : {14, 15}) {
        tape::SceneSpec scene;
        scene.start = tape::DateTime{2006, 5, 1, hour, 0, 0};
        writer.AddScene(scene);
    }
    ASSERT_TRUE(writer.WriteFile(path)) << path;
}

// Every frame of a container file as DvContainerReader reads it back, with the file offset of
// the first.
Frames ReadBack(const std::string& path, std::int64_t* firstOffset = nullptr) {
    dv::DvContainerReader reader;
    EXPECT_TRUE(reader.Open(path)) << reader.Error();
    Frames frames;
    dv::DvContainerFrame frame;
    while (reader.Next(frame) == dv::DvContainerReader::Status::kFrame) {
        if (frames.empty() && firstOffset != nullptr) {
            *firstOffset = frame.fileOffset;
        }
        frames.emplace_back(frame.bytes.begin(), frame.bytes.end());
    }
    return frames;
}

Bytes Join(Frames::const_iterator begin, Frames::const_iterator end) {
    Bytes joined;
    for (auto it = begin; it != end; ++it) {
        joined.insert(joined.end(), it->begin(), it->end());
    }
    return joined;
}

// A raw tape of two one-second recordings two hours apart (4:3, then 16:9), the same frames in
// AVI type 1, AVI type 2 and QuickTime.
class SplitCommandDvContainer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!dv::test::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed";
        }
        const std::string a = m_dir.File("a.dv");
        const std::string b = m_dir.File("b.dv");
        ASSERT_EQ(dv::test::WriteFfmpegDv(a, 1, "4:3", "2007-06-15T10:00:00"), "");
        ASSERT_EQ(dv::test::WriteFfmpegDv(b, 1, "16:9", "2007-06-15T12:00:00"), "");
        m_tape = test::ReadAll(a);
        const Bytes second = test::ReadAll(b);
        m_tape.insert(m_tape.end(), second.begin(), second.end());
        m_frames = dv::test::RawFrames(m_tape);
        ASSERT_EQ(m_frames.size(), 2 * kFramesPerScene);
        std::filesystem::create_directory(m_dir.File("in"));
        test::WriteAll(Input("raw"), m_tape);
        test::WriteAll(Input("avi1"), dv::test::AviType1(m_frames));
        ASSERT_EQ(dv::test::CopyWithFfmpeg(Input("raw"), "avi", Input("avi2")), "");
        ASSERT_EQ(dv::test::CopyWithFfmpeg(Input("raw"), "mov", Input("mov")), "");
    }
    // Named without an extension: the content tells the format.
    std::string Input(const std::string& kind) const { return m_dir.File("in/" + kind); }
    std::string OutDir(const std::string& name) const {
        const std::string dir = m_dir.File(name);
        std::filesystem::create_directory(dir);
        return dir;
    }

    test::ScopedTimeZone m_tz{"UTC"};
    TempDir m_dir;
    Bytes m_tape;
    Frames m_frames;
};

// --sync says it does nothing for DV, whatever holds the frames.
TEST_F(SplitCommandDvContainer, SplitsEveryDvInputIntoTheSameRawScenes) {
    for (const std::string kind : {"raw", "avi1", "avi2", "mov"}) {
        SCOPED_TRACE(kind);
        const std::string out = OutDir("out-" + kind);
        const RunResult result =
            Split({"--sync", "--naming", "count", "--output-dir", out, Input(kind)});
        ASSERT_EQ(result.status, kExitOk) << result.out << result.err;
        EXPECT_EQ(result.out.find("WARNING: --sync does nothing for DV"), 0u) << result.out;
        EXPECT_EQ(ListFiles(out), (std::vector<std::string>{kind + "-0000.dv", kind + "-0001.dv"}));
        EXPECT_EQ(test::ReadAll(out + "/" + kind + "-0000.dv"),
                  Join(m_frames.begin(), m_frames.begin() + kFramesPerScene));
        EXPECT_EQ(test::Concat(out, {kind + "-0000.dv", kind + "-0001.dv"}), m_tape);
    }
}

// A listing of a container names where each scene's first frame lies in that file, which is
// where its thumbnail is read from.
TEST_F(SplitCommandDvContainer, ListsContainerScenesAtTheirFramesFileOffsets) {
    for (const std::string kind : {"avi1", "avi2", "mov"}) {
        SCOPED_TRACE(kind);
        const RunResult result = Split({"--list-scenes", "--json", Input(kind)});
        ASSERT_EQ(result.status, kExitOk) << result.err;
        const auto scenes = nlohmann::json::parse(result.out)["files"][0]["scenes"];
        ASSERT_EQ(scenes.size(), 2u) << result.out;
        dv::DvContainerReader reader;
        ASSERT_TRUE(reader.Open(Input(kind)));
        std::vector<std::int64_t> offsets;
        dv::DvContainerFrame frame;
        while (reader.Next(frame) == dv::DvContainerReader::Status::kFrame) {
            offsets.push_back(frame.fileOffset);
        }
        ASSERT_EQ(offsets.size(), 2 * kFramesPerScene);
        EXPECT_EQ(scenes[0]["offset"], offsets[0]);
        EXPECT_EQ(scenes[1]["offset"], offsets[kFramesPerScene]);
        EXPECT_EQ(scenes[1]["frames"], kFramesPerScene);
        EXPECT_EQ(scenes[1]["aspect"], "16:9");
    }
}

// Each scene goes into its own container, its frames byte for byte; a name that is taken is
// never overwritten.
TEST_F(SplitCommandDvContainer, WritesScenesIntoContainersWithTheFramesUnchanged) {
    struct Case {
        std::string container;
        std::string input;
    };
    for (const Case& c :
         {Case{"avi", "raw"}, Case{"mov", "raw"}, Case{"avi", "mov"}, Case{"mov", "avi1"}}) {
        SCOPED_TRACE(c.container + " from " + c.input);
        const std::string out = OutDir("out-" + c.container + "-" + c.input);
        const std::string taken = out + "/" + c.input + "-0000." + c.container;
        test::WriteAll(taken, {1, 2, 3});
        const RunResult result = Split({"--naming", "count", "--dv-container", c.container,
                                        "--output-dir", out, Input(c.input)});
        ASSERT_EQ(result.status, kExitOk) << result.out << result.err;
        EXPECT_NE(
            result.out.find("WARNING: This file already exists and won't be overwritten: " + taken),
            std::string::npos)
            << result.out;
        EXPECT_EQ(test::ReadAll(taken), (Bytes{1, 2, 3}));
        const std::string first = c.input + "-0001." + c.container;
        const std::string second = c.input + "-0002." + c.container;
        ASSERT_EQ(ListFiles(out),
                  (std::vector<std::string>{c.input + "-0000." + c.container, first, second}));
        EXPECT_TRUE(ReadBack(out + "/" + first) ==
                    Frames(m_frames.begin(), m_frames.begin() + kFramesPerScene));
        EXPECT_TRUE(ReadBack(out + "/" + second) ==
                    Frames(m_frames.begin() + kFramesPerScene, m_frames.end()));
    }
}

// HDV ignores the container (said once), a file that is no tape is named as such, and only the
// two containers are taken.
TEST_F(SplitCommandDvContainer, RefusesWhatIsNoDvAndWhatIsNoContainer) {
    const std::string notes = m_dir.File("in/notes.dv");
    test::WriteText(notes, std::string(200'000, 'x'));
    RunResult result = Split({"--dv-container", "mov", "--output-dir", OutDir("notes"), notes});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_NE(result.out.find("ERROR: This is neither an MPEG-2 transport stream nor DV: " + notes),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("--dv-container"), std::string::npos) << result.out;

    const std::string hdv1 = m_dir.File("in/hdv1.m2t");
    const std::string hdv2 = m_dir.File("in/hdv2.m2t");
    WriteHdvTape(hdv1);
    WriteHdvTape(hdv2);
    result = Split({"--naming", "count", "--dv-container", "avi", "--output-dir", OutDir("hdv"),
                    hdv1, hdv2, Input("raw")});
    EXPECT_EQ(result.status, kExitOk) << result.out << result.err;
    const std::string warning =
        "WARNING: --dv-container does nothing for HDV; transport-stream inputs are split into "
        "transport-stream files as always";
    EXPECT_NE(result.out.find(warning), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(warning, result.out.find(warning) + 1), std::string::npos);
    EXPECT_EQ(ListFiles(m_dir.File("hdv")).back(), "raw-0001.avi");

    for (const std::string value : {"dv", "AVI", ""}) {
        result = Split({"--dv-container", value, Input("raw")});
        EXPECT_EQ(result.status, kExitUsage) << value;
    }
}

}  // namespace
}  // namespace vornak
