#include "DvContainerByteSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "DvContainerFiles.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using dv::test::Bytes;
using dv::test::Frames;

void AddToLength(Bytes& file, std::size_t lengthAt, std::uint32_t more) {
    std::uint32_t length = 0;
    std::memcpy(&length, file.data() + lengthAt, sizeof length);
    length += more;
    std::memcpy(file.data() + lengthAt, &length, sizeof length);
}

// The frames come out one after another, exactly as stored, whatever the reads; damage the
// container's reader passes over is said once, naming the file; each frame's file position is
// known for the bytes read lately.
TEST(DvContainerByteSource, HandsOutTheFramesAsARawFileAndSaysWhatWasPassedOver) {
    test::TempDir dir;
    Frames frames;
    for (int n = 0; n < 3; ++n) {
        dv::test::FrameSetup setup;
        setup.stamp = dv::test::Stamp{8, 3, 2, 9, 30, n};
        frames.push_back(dv::test::MakeFrame(setup));
    }
    Bytes file = dv::test::AviType1(frames);
    constexpr std::uint32_t kDamage = 1001;
    // Damage before the second frame's chunk, the lengths of the file and its movi list grown.
    // Frames begin alike: the second frame is the second match.
    const auto first =
        std::search(file.begin(), file.end(), frames[1].begin(), frames[1].begin() + 64);
    const auto second =
        std::search(first + 1, file.end(), frames[1].begin(), frames[1].begin() + 64) - 8;
    const std::size_t secondAt = static_cast<std::size_t>(second - file.begin());
    file.insert(second, kDamage, 0xEE);
    AddToLength(file, 4, kDamage);
    const std::size_t movi = static_cast<std::size_t>(
        std::search(file.begin(), file.end(), std::begin("movi"), std::begin("movi") + 4) -
        file.begin());
    AddToLength(file, movi - 4, kDamage);
    const std::string path = dir.File("damaged.avi");
    test::WriteAll(path, file);

    Bytes expected;
    for (const Bytes& frame : frames) {
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    for (const std::size_t readSize : {std::size_t{7'777}, expected.size() + 1}) {
        SCOPED_TRACE(readSize);
        test::CapturingLog log;
        DvContainerByteSource source(&log);
        ASSERT_EQ(source.Open(path), InputFile::OpenResult::Opened) << source.Error();
        Bytes got(readSize);
        Bytes all;
        std::size_t n = 0;
        InputFile::Status status;
        do {
            status = source.Read(got.data(), got.size(), n);
            all.insert(all.end(), got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n));
        } while (status == InputFile::Status::Ok);
        EXPECT_EQ(status, InputFile::Status::EndOfFile);
        EXPECT_TRUE(all == expected);
        EXPECT_EQ(log.Lines(),
                  (std::vector<std::string>{"WARNING: 1001 damaged bytes between the frames of " +
                                            path + " begin no frame and were passed over"}));
        const std::int64_t thirdAt = source.FileOffsetOf(2 * frames[0].size() + 5);
        ASSERT_GE(thirdAt, 0);
        EXPECT_TRUE(std::equal(frames[2].begin(), frames[2].end(), file.begin() + thirdAt));
        EXPECT_EQ(source.FileOffsetOf(frames[0].size()),
                  static_cast<std::int64_t>(secondAt + kDamage + 8));
    }
    DvContainerByteSource none;
    EXPECT_EQ(none.Open(dir.File("missing.avi")), InputFile::OpenResult::CannotOpen);
    EXPECT_NE(none.Error().find("missing.avi"), std::string::npos) << none.Error();
}

}  // namespace
}  // namespace vornak
