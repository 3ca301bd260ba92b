#include "ContactSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

}  // namespace
}  // namespace vornak
