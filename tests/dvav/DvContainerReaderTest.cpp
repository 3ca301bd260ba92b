#include "DvContainerReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "DvContainerFiles.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;
using test::Frames;

class DvContainerReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed";
        }
        ASSERT_EQ(test::WriteFfmpegDv(m_raw, 1, "4:3", "2007-06-15T10:00:00"), "");
    }
    // Every frame of the file, each checked to be the file's bytes at its offset.
    static Frames ReadFrames(const std::string& path) {
        const Bytes file = vornak::test::ReadAll(path);
        DvContainerReader reader;
        EXPECT_TRUE(reader.Open(path)) << reader.Error();
        EXPECT_EQ(reader.FileSize(), static_cast<std::int64_t>(file.size()));
        Frames frames;
        DvContainerFrame frame;
        DvContainerReader::Status status;
        while ((status = reader.Next(frame)) == DvContainerReader::Status::kFrame) {
            frames.emplace_back(frame.bytes.begin(), frame.bytes.end());
            const auto at = static_cast<std::size_t>(frame.fileOffset);
            EXPECT_TRUE(frame.fileOffset >= 0 && at + frame.bytes.size() <= file.size() &&
                        std::equal(frame.bytes.begin(), frame.bytes.end(), file.begin() + at))
                << "frame " << frames.size() << " at " << at;
        }
        EXPECT_EQ(status, DvContainerReader::Status::kEnd) << reader.Error();
        EXPECT_EQ(reader.SkippedBytes(), 0U);
        return frames;
    }
    vornak::test::TempDir m_dir;
    const std::string m_raw = m_dir.File("clip.dv");
};

TEST_F(DvContainerReaderTest, HandsOutEveryFrameAsStored) {
    const Frames expected = test::RawFrames(vornak::test::ReadAll(m_raw));
    ASSERT_EQ(expected.size(), 25U);
    vornak::test::WriteAll(m_dir.File("type1.avi"), test::AviType1(expected));
    ASSERT_EQ(test::CopyWithFfmpeg(m_raw, "avi", m_dir.File("type2.avi")), "");
    ASSERT_EQ(test::CopyWithFfmpeg(m_raw, "mov", m_dir.File("clip.mov")), "");
    for (const char* name : {"type1.avi", "type2.avi", "clip.mov"}) {
        EXPECT_TRUE(ReadFrames(m_dir.File(name)) == expected) << name;
    }
}

// libavformat's AVI reader drops a type 1 chunk shorter than a frame and cuts a longer one;
// a tape's damaged frames are kept as they are, every byte.
TEST_F(DvContainerReaderTest, KeepsType1ChunksOfAnyLength) {
    Frames frames = test::RawFrames(vornak::test::ReadAll(m_raw));
    frames.resize(6);
    frames[2].resize(100'000);
    frames[4].insert(frames[4].end(), 500, 0xAB);
    const std::string path = m_dir.File("uneven.avi");
    vornak::test::WriteAll(path, test::AviType1(frames));
    EXPECT_TRUE(ReadFrames(path) == frames);
}

TEST_F(DvContainerReaderTest, SaysWhyAFileCannotBeReadAndNamesIt) {
    const std::string text = m_dir.File("notes.avi");
    vornak::test::WriteAll(text, Bytes(1000, 'x'));
    const std::string mjpeg = m_dir.File("mjpeg.avi");
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120 -t 1 "
                           "-c:v mjpeg -f avi '" +
                           mjpeg + "'")
                              .c_str()),
              0);
    const std::pair<std::string, const char*> cases[] = {
        {m_dir.File("missing.mov"), "No such file or directory"},
        {text, "the file is neither an AVI nor a QuickTime file"},
        {mjpeg, "the file holds no DV video"},
        {m_dir.Path(), "the file is no regular file"},
    };
    for (const auto& [path, reason] : cases) {
        DvContainerReader reader;
        EXPECT_FALSE(reader.Open(path));
        EXPECT_EQ(reader.Error(), "Cannot read DV from \"" + path + "\": " + reason);
        DvContainerFrame frame;
        EXPECT_EQ(reader.Next(frame), DvContainerReader::Status::kEnd);
    }
}

}  // namespace
}  // namespace vornak::dv
