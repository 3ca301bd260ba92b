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

// A picture cairo cannot take (more than its 32767 rows) gets the cell of a scene without one;
// the sheet and the other pictures are still there.
TEST(ContactSheet, PictureThatCannotBeDrawnCostsOnlyItsCell) {
    test::TempDir dir;
    const RgbImage light{320, 180, std::vector<std::uint8_t>(320 * 180 * 3, 200)};
    const RgbImage tall{16, 40000, std::vector<std::uint8_t>(16 * 40000 * 3, 0)};
    const std::vector<ContactSheet::Entry> entries = {{{}, &light}, {{}, &tall}, {{}, &light}};
    std::string reason;
    ASSERT_EQ(ContactSheet::Write(dir.File("s.jpg"), "tape", entries, reason),
              JpegFile::Result::Written)
        << reason;
    const RgbImage sheet = test::ReadJpeg(dir.File("s.jpg"));
    ASSERT_FALSE(sheet.Empty());
    for (const int cell : {0, 1, 2}) {  // above the middle of each cell, clear of any text
        const auto at =
            static_cast<std::size_t>((36 + 60) * sheet.Stride() + (172 + cell * 332) * 3);
        EXPECT_NEAR(sheet.pixels[at], cell == 1 ? 64 : 200, 12) << cell;  // no picture: grey
    }
}

}  // namespace
}  // namespace vornak
