#include "JpegFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ColourTape.h"
#include "TestSupport.h"

namespace vornak {
namespace {

// Left half one colour, right half another, in either layout.
std::vector<std::uint8_t> TwoHalves(int width, int height, bool xrgb, const test::Colour& left,
                                    const test::Colour& right) {
    const int bytes = xrgb ? 4 : 3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * bytes));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const test::Colour& c = x < width / 2 ? left : right;
            std::uint8_t* p = &pixels[static_cast<std::size_t>((y * width + x) * bytes)];
            if (xrgb) {
                const std::uint32_t word = static_cast<std::uint32_t>(c.red) << 16 |
                                           static_cast<std::uint32_t>(c.green) << 8 |
                                           static_cast<std::uint32_t>(c.blue);
                std::memcpy(p, &word, sizeof word);
            } else {
                p[0] = static_cast<std::uint8_t>(c.red);
                p[1] = static_cast<std::uint8_t>(c.green);
                p[2] = static_cast<std::uint8_t>(c.blue);
            }
        }
    }
    return pixels;
}

TEST(JpegFile, WritesEitherLayoutOnceAndNeverOverwrites) {
    test::TempDir dir;
    const test::Colour left{200, 40, 40};
    const test::Colour right{40, 60, 210};
    for (bool xrgb : {false, true}) {
        SCOPED_TRACE(xrgb ? "xrgb" : "rgb");
        const std::string path = dir.File(xrgb ? "xrgb.jpg" : "rgb.jpg");
        const auto pixels = TwoHalves(64, 32, xrgb, left, right);
        const auto layout = xrgb ? JpegFile::Layout::Xrgb32 : JpegFile::Layout::Rgb24;
        ASSERT_EQ(JpegFile::Write(path, pixels.data(), 64, 32, 64 * (xrgb ? 4 : 3), layout),
                  JpegFile::Result::Written);
        const RgbImage back = test::ReadJpeg(path);
        ASSERT_EQ(back.width, 64);
        ASSERT_EQ(back.height, 32);
        const auto at = [&back](int x, int y) {
            const std::size_t i = static_cast<std::size_t>((y * back.width + x) * 3);
            return test::Colour{back.pixels[i], back.pixels[i + 1], back.pixels[i + 2]};
        };
        EXPECT_TRUE(test::Near(at(8, 16), left)) << test::Text(at(8, 16));
        EXPECT_TRUE(test::Near(at(56, 16), right)) << test::Text(at(56, 16));

        const auto before = test::ReadAll(path);
        const auto other = TwoHalves(64, 32, xrgb, right, left);
        EXPECT_EQ(JpegFile::Write(path, other.data(), 64, 32, 64 * (xrgb ? 4 : 3), layout),
                  JpegFile::Result::AlreadyExists);
        EXPECT_EQ(test::ReadAll(path), before);
    }
    RgbImage image{2, 2, std::vector<std::uint8_t>(12, 128)};
    EXPECT_EQ(JpegFile::Write(dir.File("no/such/folder.jpg"), image), JpegFile::Result::Failed);
    EXPECT_EQ(JpegFile::Write(dir.File("empty.jpg"), RgbImage{}), JpegFile::Result::Failed);
    EXPECT_EQ(test::ListFiles(dir.Path()), (std::vector<std::string>{"rgb.jpg", "xrgb.jpg"}));
}

// A failure says why; a file that is not written in full is removed.
TEST(JpegFile, FailuresSayWhy) {
    test::TempDir dir;
    const RgbImage image{64, 32, std::vector<std::uint8_t>(64 * 32 * 3, 128)};
    int error = -1;
    EXPECT_EQ(JpegFile::Write(dir.File("no/such.jpg"), image, &error), JpegFile::Result::Failed);
    EXPECT_EQ(JpegFile::FailureReason(error), "No such file or directory");
    EXPECT_EQ(JpegFile::Write(dir.File("empty.jpg"), RgbImage{}, &error), JpegFile::Result::Failed);
    EXPECT_EQ(JpegFile::FailureReason(error), "the picture can't be encoded");
    {
        const test::FileSizeLimit full(100);  // as a disk that fills after 100 bytes
        EXPECT_EQ(JpegFile::Write(dir.File("cut.jpg"), image, &error), JpegFile::Result::Failed);
    }
    EXPECT_EQ(JpegFile::FailureReason(error), "File too large");
    EXPECT_EQ(test::ListFiles(dir.Path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vornak
