#include "SceneFileName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vornak {
namespace {

const std::string kBase = "/video/tape";
const std::string kExt = "m2t";

RecordingDate May2006() {
    RecordingDate d;
    d.year = 2006;
    d.month = 5;
    d.day = 1;
    d.hour = 14;
    d.minute = 3;
    d.second = 59;
    return d;
}

TEST(SceneFileName, ExpandsEachPlaceholderWithItsWidth) {
    const RecordingDate d = May2006();
    EXPECT_EQ(ExpandDatePattern("%Y", d), "2006");
    EXPECT_EQ(ExpandDatePattern("%M", d), "05");
    EXPECT_EQ(ExpandDatePattern("%D", d), "01");
    EXPECT_EQ(ExpandDatePattern("%h", d), "14");
    EXPECT_EQ(ExpandDatePattern("%m", d), "03");
    EXPECT_EQ(ExpandDatePattern("%s", d), "59");
    EXPECT_EQ(ExpandDatePattern(kDefaultDateFormat, d), "-2006_05_01-14_03_59");
    EXPECT_EQ(ExpandDatePattern("_%D.%M.%Y %hh%m", d), "_01.05.2006 14h03");
    EXPECT_EQ(ExpandDatePattern("%h%m%s", d), "140359");
}

TEST(SceneFileName, ExpandsEveryOccurrenceAndCopiesTheRest) {
    const RecordingDate d = May2006();
    EXPECT_EQ(ExpandDatePattern("%Y/%Y [%s%s]", d), "2006/2006 [5959]");
    EXPECT_EQ(ExpandDatePattern("plain text", d), "plain text");
    EXPECT_EQ(ExpandDatePattern("", d), "");
    EXPECT_EQ(ExpandDatePattern("100%", d), "100%");
    EXPECT_EQ(ExpandDatePattern("%", d), "%");
}

TEST(SceneFileName, PlaceholdersAreCaseSensitive) {
    const RecordingDate d = May2006();
    EXPECT_EQ(ExpandDatePattern("%y%d%H%S", d), "%y%d%H%S");
    EXPECT_EQ(ExpandDatePattern("%y-%Y", d), "%y-2006");
    // Upper-case M is the month, lower-case m the minute.
    EXPECT_EQ(ExpandDatePattern("%M%m", d), "0503");
}

TEST(SceneFileName, PercentSignBeforeAPlaceholderStaysAPercentSign) {
    const RecordingDate d = May2006();
    EXPECT_EQ(ExpandDatePattern("%%Y", d), "%2006");
    EXPECT_EQ(ExpandDatePattern("%%%M", d), "%%05");
}

TEST(SceneFileName, WidthsPadButNeverCut) {
    RecordingDate d = May2006();
    d.year = 12345;
    d.second = 115;  // an undecoded nibble
    d.month = 0;
    EXPECT_EQ(ExpandDatePattern("%Y-%M-%s", d), "12345-00-115");
}

TEST(SceneFileName, CountNaming) {
    bool used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 0, false, nullptr, "", used), "/video/tape-0000.m2t");
    EXPECT_TRUE(used);
    used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 7, false, nullptr, kDefaultDateFormat, used),
              "/video/tape-0007.m2t");
    EXPECT_TRUE(used);
    // A known date does not matter when files are counted.
    const RecordingDate d = May2006();
    used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 12, false, &d, kDefaultDateFormat, used),
              "/video/tape-0012.m2t");
    EXPECT_TRUE(used);
}

TEST(SceneFileName, CounterWiderThanFourDigitsIsKeptWhole) {
    bool used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 12345, false, nullptr, "", used), "/video/tape-12345.m2t");
    used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 12345, true, nullptr, "", used),
              "/video/tape-noTime-12345.m2t");
}

TEST(SceneFileName, DateNamingWithoutADateUsesTheCounter) {
    bool used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 3, true, nullptr, kDefaultDateFormat, used),
              "/video/tape-noTime-0003.m2t");
    EXPECT_TRUE(used);
}

TEST(SceneFileName, DateNamingWithADateLeavesTheCounterAlone) {
    const RecordingDate d = May2006();
    bool used = true;
    EXPECT_EQ(SceneFileName(kBase, kExt, 3, true, &d, kDefaultDateFormat, used),
              "/video/tape-2006_05_01-14_03_59.m2t");
    EXPECT_FALSE(used);
    used = true;
    EXPECT_EQ(SceneFileName(kBase, kExt, 3, true, &d, "", used),
              "/video/tape-2006_05_01-14_03_59.m2t");
    EXPECT_FALSE(used);
}

TEST(SceneFileName, UserPatternFollowsTheBaseNameDirectly) {
    const RecordingDate d = May2006();
    bool used = false;
    EXPECT_EQ(SceneFileName(kBase, kExt, 0, true, &d, "_%D.%M.%Y %hh%m", used),
              "/video/tape_01.05.2006 14h03.m2t");
    EXPECT_EQ(SceneFileName(kBase, kExt, 0, true, &d, "scene", used), "/video/tapescene.m2t");
    EXPECT_EQ(SceneFileName(kBase, "ts", 0, true, &d, "%%Y", used), "/video/tape%2006.ts");
}

TEST(SceneFileName, NewFormsAreNumbered) {
    const std::vector<std::pair<std::int32_t, std::string>> cases = {
        {0, ""}, {1, "-new"}, {2, "-new2"}, {3, "-new3"}, {58, "-new58"}};
    for (const auto& [n, suffix] : cases) {
        EXPECT_EQ(NewNameSuffix(n), suffix) << n;
    }
}

TEST(SceneFileName, FragmentNameHoldsTheCounterAndSortsBeforeTheNextScene) {
    EXPECT_EQ(FragmentFileName(kBase, kExt, 7), "/video/tape-0007-fragment.m2t");
    EXPECT_EQ(FragmentFileName(kBase, kExt, 12345), "/video/tape-12345-fragment.m2t");
    bool used = false;
    EXPECT_LT(FragmentFileName(kBase, kExt, 7),
              SceneFileName(kBase, kExt, 8, false, nullptr, "", used));
}

TEST(SceneFileName, EmptyPatternPadsEachField) {
    RecordingDate d;
    d.year = 2003;
    d.month = 1;
    d.day = 2;
    d.hour = 3;
    d.minute = 4;
    d.second = 5;
    bool used = false;
    EXPECT_EQ(SceneFileName("t", "m2t", 0, true, &d, "", used), "t-2003_01_02-03_04_05.m2t");
}

}  // namespace
}  // namespace vornak
