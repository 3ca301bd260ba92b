#include "DvContainerReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "DvContainerFiles.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Frames;

class DvContainerReaderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<vornak::test::TempDir>();
        if (!test::FfmpegAvailable()) {
            return;
        }
        s_raw = s_dir->File("clip.dv");
        s_made = test::WriteFfmpegDv(s_raw, 1, "4:3", "2007-06-15T10:00:00");
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        if (!test::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed";
        }
        ASSERT_EQ(s_made, "");
    }

    static std::unique_ptr<vornak::test::TempDir> s_dir;
    static std::string s_raw;
    static std::string s_made;
};

std::unique_ptr<vornak::test::TempDir> DvContainerReaderTest::s_dir;
std::string DvContainerReaderTest::s_raw;
std::string DvContainerReaderTest::s_made;

TEST_F(DvContainerReaderTest, HandsOutEveryFrameAsStored) {
    const Frames expected = test::RawFrames(vornak::test::ReadAll(s_raw));
    ASSERT_EQ(expected.size(), 25U);
    const std::string avi1 = s_dir->File("type1.avi");
    vornak::test::WriteAll(avi1, test::AviType1(expected));
    ASSERT_EQ(test::CopyWithFfmpeg(s_raw, "avi", s_dir->File("type2.avi")), "");
    ASSERT_EQ(test::CopyWithFfmpeg(s_raw, "mov", s_dir->File("clip.mov")), "");

    for (const char* name : {"type1.avi", "type2.avi", "clip.mov"}) {
        SCOPED_TRACE(name);
        const std::string path = s_dir->File(name);
        const std::vector<std::uint8_t> file = vornak::test::ReadAll(path);
        DvContainerReader reader;
        ASSERT_TRUE(reader.Open(path)) << reader.Error();
        EXPECT_EQ(reader.FileSize(), static_cast<std::int64_t>(file.size()));
        Frames got;
        DvContainerFrame frame;
        DvContainerReader::Status status;
        while ((status = reader.Next(frame)) == DvContainerReader::Status::kFrame) {
            got.emplace_back(frame.bytes.begin(), frame.bytes.end());
            // The offset is where the frame's bytes lie in the file.
            ASSERT_GE(frame.fileOffset, 0);
            const auto at = static_cast<std::size_t>(frame.fileOffset);
            ASSERT_LE(at + frame.bytes.size(), file.size());
            EXPECT_TRUE(std::equal(frame.bytes.begin(), frame.bytes.end(),
                                   file.begin() + static_cast<std::ptrdiff_t>(at)))
                << "frame " << got.size() << " at " << at;
        }
        EXPECT_EQ(status, DvContainerReader::Status::kEnd) << reader.Error();
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
}

// libavformat's AVI reader drops a type 1 chunk shorter than a frame and cuts a longer one;
// a tape's damaged frames are kept as they are, every byte.
TEST_F(DvContainerReaderTest, KeepsType1ChunksOfAnyLength) {
    Frames frames = test::RawFrames(vornak::test::ReadAll(s_raw));
    frames.resize(6);
    frames[2].resize(100'000);
    frames[4].insert(frames[4].end(), 500, 0xAB);
    const std::string path = s_dir->File("uneven.avi");
    vornak::test::WriteAll(path, test::AviType1(frames));
    DvContainerReader reader;
    ASSERT_TRUE(reader.Open(path)) << reader.Error();
    Frames got;
    DvContainerFrame frame;
    while (reader.Next(frame) == DvContainerReader::Status::kFrame) {
        got.emplace_back(frame.bytes.begin(), frame.bytes.end());
    }
    EXPECT_EQ(got.size(), frames.size());
    EXPECT_TRUE(got == frames);
    EXPECT_EQ(reader.SkippedBytes(), 0U);
}

TEST_F(DvContainerReaderTest, SaysWhyAFileCannotBeReadAndNamesIt) {
    const std::string text = s_dir->File("notes.avi");
    vornak::test::WriteAll(text, std::vector<std::uint8_t>(1000, 'x'));
    const std::string mjpeg = s_dir->File("mjpeg.avi");
    ASSERT_EQ(std::system(("ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
                           "testsrc=size=160x120:rate=25 -t 1 -c:v mjpeg -f avi '" +
                           mjpeg + "'")
                              .c_str()),
              0);
    const std::string missing = s_dir->File("missing.mov");
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {missing, "No such file or directory"},
        {text, "the file is neither an AVI nor a QuickTime file"},
        {mjpeg, "the file holds no DV video"},
    };
    for (const Case& c : cases) {
        DvContainerReader reader;
        EXPECT_FALSE(reader.Open(c.path));
        EXPECT_EQ(reader.Error(), "Cannot read DV from \"" + c.path + "\": " + c.reason);
        DvContainerFrame frame;
        EXPECT_EQ(reader.Next(frame), DvContainerReader::Status::kEnd);
    }
}

}  // namespace
}  // namespace vornak::dv
