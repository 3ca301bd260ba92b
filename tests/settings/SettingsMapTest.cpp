#include "SettingsMap.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "TestSupport.h"

namespace vornak {
namespace {

using test::ListFiles;
using test::ReadAll;
using test::ReadText;
using test::TempDir;
using test::WriteAll;
using test::WriteText;

SettingsMap Load(const std::string& text) {
    TempDir dir;
    WriteText(dir.File("vornak.ini"), text);
    SettingsMap map;
    LoadSettingsFile(dir.File("vornak.ini"), map);
    return map;
}

std::string Save(const SettingsMap& map) {
    TempDir dir;
    EXPECT_TRUE(SaveSettingsFile(dir.File("vornak.ini"), map));
    return ReadText(dir.File("vornak.ini"));
}

TEST(SettingsMap, LineEndsOfBothKindsAreRead) {
    SettingsMap map = Load("a=1\r\nb=2\nc=3\r\n");
    EXPECT_EQ(map, (SettingsMap{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
}

TEST(SettingsMap, LastLineWithoutLineEndIsIgnored) {
    EXPECT_EQ(Load("a=1\r\nb=2"), (SettingsMap{{"a", "1"}}));
    EXPECT_EQ(Load("a=1\r\nb=2\r"), (SettingsMap{{"a", "1"}}));
    EXPECT_TRUE(Load("only=line").empty());
}

TEST(SettingsMap, NothingAroundTheEqualsSignIsTrimmed) {
    SettingsMap map = Load("pos_x = 100\r\n");
    EXPECT_EQ(map, (SettingsMap{{"pos_x ", " 100"}}));
    EXPECT_EQ(FindSetting(&map, "pos_x"), nullptr);
    EXPECT_EQ(Save(map), "pos_x = 100\r\n");
}

TEST(SettingsMap, FirstEqualsSignSplitsKeyFromValue) {
    EXPECT_EQ(Load("a=b=c\r\n"), (SettingsMap{{"a", "b=c"}}));
}

TEST(SettingsMap, EmptyKeysAndValuesAreEntries) {
    SettingsMap map = Load("scenesplit_output_dir=\r\nz=1\r\n=orphan\r\n");
    ASSERT_NE(FindSetting(&map, "scenesplit_output_dir"), nullptr);
    EXPECT_EQ(*FindSetting(&map, "scenesplit_output_dir"), "");
    ASSERT_NE(FindSetting(&map, ""), nullptr);
    EXPECT_EQ(Save(map), "=orphan\r\nscenesplit_output_dir=\r\nz=1\r\n");
}

TEST(SettingsMap, LinesWithoutEqualsSignAreDropped) {
    SettingsMap map = Load("junk\r\n\r\na=1\r\n\nb=2\r\n");
    EXPECT_EQ(map, (SettingsMap{{"a", "1"}, {"b", "2"}}));
}

TEST(SettingsMap, FirstOccurrenceOfAKeyWins) {
    SettingsMap map = Load("pos_x=1\r\npos_x=2\r\n");
    EXPECT_EQ(map, (SettingsMap{{"pos_x", "1"}}));
    EXPECT_EQ(Save(map), "pos_x=1\r\n");
}

TEST(SettingsMap, OverlongLineIsCutAndEndsTheReading) {
    // key "long", "=", then 1,995 x: 2,000 characters in all.
    const std::string longLine = "long=" + std::string(1995, 'x');
    SettingsMap map = Load("a=1\r\n" + longLine + "\r\nb=2\r\n");
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map["a"], "1");
    EXPECT_EQ(map["long"], std::string(1023 - 5, 'x'));

    // No "=" among the first 1,023 characters: nothing from that line, nothing after it.
    SettingsMap noEquals = Load(std::string(1500, 'y') + "=1\r\nb=2\r\n");
    EXPECT_TRUE(noEquals.empty());
}

TEST(SettingsMap, LineOfExactlyTheLimitIsWhole) {
    const std::string value(1023 - 2, 'v');
    SettingsMap map = Load("k=" + value + "\r\nnext=1\n");
    EXPECT_EQ(map["k"], value);
    EXPECT_EQ(map["next"], "1");
    // Cut short by the end of the file right at the limit: not a line.
    EXPECT_TRUE(Load("k=" + value).empty());
}

TEST(SettingsMap, WrittenInByteOrderWithCrLf) {
    SettingsMap map{{"pos_y", "2"},        {"a", "x"}, {"scenesplit_file_name", "n"},
                    {"\xe9t\xe9", "high"}, {"Z", "z"}, {"pos_x", "1"},
                    {"capture_stop", "0"}, {"ab", ""}};
    EXPECT_EQ(Save(map),
              "Z=z\r\na=x\r\nab=\r\ncapture_stop=0\r\npos_x=1\r\npos_y=2\r\n"
              "scenesplit_file_name=n\r\n\xe9t\xe9=high\r\n");
}

TEST(SettingsMap, RoundTripKeepsEveryEntry) {
    SettingsMap map{{"capture_output_dir", "/home/me/Video Tapes"},
                    {"capture_datetime_format", "-%Y_%M_%D-%h_%m_%s"},
                    {"odd key", "a=b"},
                    {"", "empty key"}};
    TempDir dir;
    ASSERT_TRUE(SaveSettingsFile(dir.File("vornak.ini"), map));
    SettingsMap back;
    LoadSettingsFile(dir.File("vornak.ini"), back);
    EXPECT_EQ(back, map);
}

TEST(SettingsMap, MissingFileLeavesTheMapAlone) {
    TempDir dir;
    SettingsMap map{{"keep", "1"}};
    LoadSettingsFile(dir.File("absent.ini"), map);
    EXPECT_EQ(map, (SettingsMap{{"keep", "1"}}));
}

TEST(SettingsMap, SaveReplacesTheFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    WriteText(dir.File("vornak.ini"), "old=1\r\n");
    ASSERT_TRUE(SaveSettingsFile(dir.File("vornak.ini"), SettingsMap{{"new", "2"}}));
    EXPECT_EQ(ReadText(dir.File("vornak.ini")), "new=2\r\n");
    EXPECT_EQ(ListFiles(dir.Path()), std::vector<std::string>{"vornak.ini"});
}

// Writing stops partway (file size limit): the old file must still be whole.
TEST(SettingsMap, FailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string old = "capture_file_name=tape\r\npos_x=10\r\npos_y=20\r\n";
    WriteText(dir.File("vornak.ini"), old);

    SettingsMap big;
    for (int i = 0; i < 100; ++i) {
        big["key" + std::to_string(i)] = std::string(100, 'v');
    }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = SaveSettingsFile(dir.File("vornak.ini"), big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(ReadText(dir.File("vornak.ini")), old);
    EXPECT_EQ(ListFiles(dir.Path()), std::vector<std::string>{"vornak.ini"});
}

TEST(SettingsMap, ReadOnlyFolderLeavesTheOldFileWhole) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser writes into read-only folders";
    }
    TempDir dir;
    WriteText(dir.File("vornak.ini"), "pos_x=1\r\n");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const bool saved = SaveSettingsFile(dir.File("vornak.ini"), SettingsMap{{"pos_x", "2"}});
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadText(dir.File("vornak.ini")), "pos_x=1\r\n");
}

TEST(SettingsMap, StrToIntAConversion) {
    EXPECT_EQ(StrToIntA("100"), 100);
    EXPECT_EQ(StrToIntA("-250"), -250);
    EXPECT_EQ(StrToIntA("+7"), 7);
    EXPECT_EQ(StrToIntA("  \t42"), 42);
    EXPECT_EQ(StrToIntA("12abc"), 12);
    EXPECT_EQ(StrToIntA("3 4"), 3);
    EXPECT_EQ(StrToIntA(" 100"), 100);
    EXPECT_EQ(StrToIntA("007"), 7);
    EXPECT_EQ(StrToIntA(""), 0);
    EXPECT_EQ(StrToIntA("abc"), 0);
    EXPECT_EQ(StrToIntA("-"), 0);
    EXPECT_EQ(StrToIntA("- 5"), 0);
    EXPECT_EQ(StrToIntA("0x10"), 0);
    EXPECT_EQ(StrToIntA("-2147483648"), -2147483647 - 1);
}

TEST(SettingsMap, FindSetting) {
    SettingsMap map{{"empty", ""}};
    EXPECT_EQ(FindSetting(nullptr, "empty"), nullptr);
    EXPECT_EQ(FindSetting(&map, "absent"), nullptr);
    ASSERT_NE(FindSetting(&map, "empty"), nullptr);
    EXPECT_TRUE(FindSetting(&map, "empty")->empty());
}

}  // namespace
}  // namespace vornak
