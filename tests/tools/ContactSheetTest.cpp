#include "ContactSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ColourTape.h"
#include "TestSupport.h"

namespace vornak {
namespace {

TEST(ContactSheet, CaptionsGiveNumberFirstDateAndDuration) {
    SceneSummary scene;
    scene.number = 7;
    scene.pictures = 25 * 83 + 12;  // 83.48 s
    EXPECT_EQ(ContactSheet::Caption(scene), "7   no date   1:23");
    scene.firstDate = test::MakeRecordingDate(2006, 5, 1, 14, 3, 59);
    EXPECT_EQ(ContactSheet::Caption(scene), "7   2006-05-01 14:03:59   1:23");
    for (const auto& [seconds, text] : std::vector<std::pair<double, std::string>>{
             {0, "0:00"}, {9.6, "0:10"}, {3599.4, "59:59"}, {3723, "1:02:03"}}) {
        EXPECT_EQ(ContactSheet::Duration(seconds), text) << seconds;
    }
}

RgbImage Solid(int width, int height, const test::Colour& colour) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(image.Stride()) *
                        static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < image.pixels.size(); i += RgbImage::kBytesPerPixel) {
        image.pixels[i] = static_cast<std::uint8_t>(colour.red);
        image.pixels[i + 1] = static_cast<std::uint8_t>(colour.green);
        image.pixels[i + 2] = static_cast<std::uint8_t>(colour.blue);
    }
    return image;
}

// A picture cairo cannot take (higher than its 32767 rows) is drawn as a scene without a
// picture; the sheet and the other scenes' pictures are still there.
TEST(ContactSheet, PictureThatCannotBeDrawnCostsOnlyItsCell) {
    test::TempDir dir;
    const test::Colour red{220, 30, 30};
    const test::Colour blue{40, 40, 220};
    const RgbImage first = Solid(320, 180, red);
    const RgbImage tall = Solid(16, 40000, {30, 200, 40});
    const RgbImage last = Solid(320, 180, blue);
    const std::vector<ContactSheet::Entry> entries = {
        {SceneSummary{}, &first}, {SceneSummary{}, &tall}, {SceneSummary{}, &last}};
    std::string reason;
    ASSERT_EQ(ContactSheet::Write(dir.File("s.jpg"), "tape", entries, reason),
              JpegFile::Result::Written)
        << reason;
    const RgbImage sheet = test::ReadJpeg(dir.File("s.jpg"));
    ASSERT_FALSE(sheet.Empty());
    const std::vector<test::Colour> centres = {red, {64, 64, 64}, blue};  // no picture: grey
    for (std::size_t i = 0; i < centres.size(); ++i) {
        const int x = 12 + static_cast<int>(i) * (320 + 12) + 160;
        const std::size_t at = static_cast<std::size_t>((36 + 60) * sheet.Stride() + x * 3);
        const test::Colour colour{sheet.pixels[at], sheet.pixels[at + 1], sheet.pixels[at + 2]};
        EXPECT_TRUE(test::Near(colour, centres[i])) << i << ": " << test::Text(colour);
    }
}

}  // namespace
}  // namespace vornak
