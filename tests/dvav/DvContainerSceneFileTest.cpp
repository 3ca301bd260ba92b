#include "DvContainerSceneFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "DvContainerFiles.h"
#include "DvContainerReader.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using dv::test::Bytes;
using dv::test::Frames;

Frames ReadBack(const std::string& path) {
    dv::DvContainerReader reader;
    EXPECT_TRUE(reader.Open(path)) << reader.Error();
    Frames frames;
    dv::DvContainerFrame frame;
    while (reader.Next(frame) == dv::DvContainerReader::Status::kFrame) {
        frames.emplace_back(frame.bytes.begin(), frame.bytes.end());
    }
    return frames;
}

// The scene job's writes hold whole pieces, any number of frames and bytes between them: the
// frames go in byte for byte, the bytes between them are counted and said, and a file made
// but never written to can be taken back.
TEST(DvContainerSceneFile, TakesTheFramesOfEachWriteAndSaysWhatIsLeftOut) {
    if (!dv::test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    test::TempDir dir;
    ASSERT_EQ(dv::test::WriteFfmpegDv(dir.File("clip.dv"), 1, "16:9", "2007-06-15T10:00:00"), "");
    const Frames frames = dv::test::RawFrames(test::ReadAll(dir.File("clip.dv")));
    ASSERT_EQ(frames.size(), 25u);
    constexpr std::size_t kGarbage = 100;
    Bytes first;
    for (std::size_t i = 0; i < 10; ++i) {
        first.insert(first.end(), frames[i].begin(), frames[i].end());
    }
    first.insert(first.end(), kGarbage, 0xAB);
    Bytes second;
    for (std::size_t i = 10; i < frames.size(); ++i) {
        second.insert(second.end(), frames[i].begin(), frames[i].end());
    }

    for (const dv::DvContainer container : {dv::DvContainer::kAvi, dv::DvContainer::kQuickTime}) {
        const std::string path =
            dir.File(container == dv::DvContainer::kAvi ? "scene.avi" : "scene.mov");
        test::CapturingLog log;
        DvContainerSceneFile file(container, &log);
        ASSERT_EQ(file.CreateNew(path), OutputFile::Create::Created);
        EXPECT_EQ(file.Write(first.data(), first.size()), first.size());
        EXPECT_EQ(file.Write(second.data(), second.size()), second.size());
        EXPECT_FALSE(file.RemoveIfEmpty(path));
        ASSERT_TRUE(file.Close()) << file.Reason();
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                                   "WARNING: 100 bytes that begin no DV frame have no place in " +
                                   path + " and were left out"}));
        EXPECT_TRUE(ReadBack(path) == frames) << path;

        DvContainerSceneFile again(container, &log);
        EXPECT_EQ(again.CreateNew(path), OutputFile::Create::AlreadyExists);
        const std::string empty = path + ".empty";
        ASSERT_EQ(again.CreateNew(empty), OutputFile::Create::Created);
        EXPECT_TRUE(again.RemoveIfEmpty(empty));
        EXPECT_FALSE(std::filesystem::exists(empty));
        EXPECT_EQ(log.Lines().size(), 1u);
    }
}

}  // namespace
}  // namespace vornak
