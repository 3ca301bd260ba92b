#include "PictureScaler.h"

#include <gtest/gtest.h>

#include "RenderTestSupport.h"

namespace vornak {
namespace {

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> picture) {
    picture.resize(picture.size() + PictureScaler::kInputPadding);
    return picture;
}

TEST(PictureScaler, MpegRangeBecomesFullRange) {
    // Video black (16) and white (235) must come out as 0 and 255, not a washed-out grey.
    const auto picture = Padded(test::IyuvPicture(64, 32, [](int x, int) {
        return x < 32 ? test::Yuv{16, 128, 128} : test::Yuv{235, 128, 128};
    }));
    PictureScaler scaler;
    BgraPicture out;
    ASSERT_TRUE(scaler.Scale(picture.data(), 64, 32, RECT{0, 0, 64, 32}, 64, 32, out));
    const test::Rgb black = test::ToRgb(out.Pixel(4, 4));
    const test::Rgb white = test::ToRgb(out.Pixel(60, 4));
    EXPECT_LE(black.r + black.g + black.b, 6);
    EXPECT_GE(white.r + white.g + white.b, 3 * 250);
    EXPECT_EQ(out.Pixel(4, 4) >> 24, 0xFFu);  // opaque
}

TEST(PictureScaler, RefusesARectangleOutsideThePicture) {
    const auto picture = Padded(test::IyuvPicture(64, 32, [](int, int) { return test::kRed; }));
    PictureScaler scaler;
    BgraPicture out;
    EXPECT_FALSE(scaler.Scale(picture.data(), 64, 32, RECT{0, 0, 65, 32}, 32, 16, out));
    EXPECT_FALSE(scaler.Scale(picture.data(), 64, 32, RECT{0, -1, 64, 32}, 32, 16, out));
    EXPECT_FALSE(scaler.Scale(picture.data(), 64, 32, RECT{8, 8, 8, 16}, 32, 16, out));
    EXPECT_FALSE(scaler.Scale(picture.data(), 64, 32, RECT{0, 0, 64, 32}, 0, 16, out));
    EXPECT_TRUE(out.Empty());
}

TEST(PictureScaler, OddSizesAndOddCropsStayInsideThePlanes) {
    // Odd sizes have chroma planes rounded up; an odd crop must not read past them. ASan keeps
    // watch over the exactly sized buffer.
    constexpr int kWidth = 33;
    constexpr int kHeight = 17;
    const auto picture = Padded(test::IyuvPicture(
        kWidth, kHeight, [](int x, int) { return x < 16 ? test::kRed : test::kBlue; }));
    PictureScaler scaler;
    BgraPicture out;
    ASSERT_TRUE(
        scaler.Scale(picture.data(), kWidth, kHeight, RECT{1, 3, kWidth, kHeight}, 31, 15, out));
    EXPECT_EQ(out.width, 31);
    EXPECT_EQ(out.height, 15);
    EXPECT_TRUE(test::IsReddish(test::ToRgb(out.Pixel(2, 7))));
    EXPECT_TRUE(test::IsBluish(test::ToRgb(out.Pixel(28, 7))));
}

}  // namespace
}  // namespace vornak
