// Where the settings file is kept: a vornak.ini in the current directory wins, otherwise the
// file lives in the XDG configuration folder, which is made when missing; a folder that cannot
// take the file is reported once, however often the settings are read and written.
#include "SettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace vornak {
namespace {

using test::ReadAll;
using test::ReadText;
using test::ScopedEnvironment;
using test::ScopedWorkingDir;
using test::TempDir;
using test::WriteAll;
using test::WriteText;

TEST(SettingsFile, ConfigHomeFollowsXdgAndFallsBackToTheHomeFolder) {
    struct Case {
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/x/config", "/home/ann", "/x/config"},
        {nullptr, "/home/ann", "/home/ann/.config"},
        {"", "/home/ann/", "/home/ann/.config"},
        // A relative XDG_CONFIG_HOME is not valid and is passed over.
        {"config", "/home/ann", "/home/ann/.config"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsFile::ConfigHome(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(null)") << " " << (c.home ? c.home : "(null)");
    }
}

TEST(SettingsFile, LivesInTheConfigFolderUnlessTheCurrentDirectoryHasOne) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("work"));
    ScopedWorkingDir work(dir.File("work"));
    ScopedEnvironment xdg("XDG_CONFIG_HOME", dir.File("config").c_str());
    std::vector<std::string> reports;
    auto report = [&reports](const std::string& line) { reports.push_back(line); };

    // No file anywhere: the folder is made on reading, the file written there.
    {
        SettingsFile file(report);
        EXPECT_EQ(file.Path(), dir.File("config/vornak/vornak.ini"));
        SettingsMap map;
        file.Load(map);
        EXPECT_TRUE(map.empty());
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("config/vornak")));
        map["pos_x"] = "7";
        EXPECT_TRUE(file.Save(map));
    }
    EXPECT_EQ(ReadText(dir.File("config/vornak/vornak.ini")), "pos_x=7\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("work/vornak.ini")));

    // A file in the current directory is read and written in its place; the other is left.
    WriteText(dir.File("work/vornak.ini"), "pos_x=1\r\n");
    {
        SettingsFile file(report);
        EXPECT_EQ(file.Path(), "./vornak.ini");
        SettingsMap map;
        file.Load(map);
        EXPECT_EQ(map["pos_x"], "1");
        map["pos_y"] = "2";
        EXPECT_TRUE(file.Save(map));
    }
    EXPECT_EQ(ReadText(dir.File("work/vornak.ini")), "pos_x=1\r\npos_y=2\r\n");
    EXPECT_EQ(ReadText(dir.File("config/vornak/vornak.ini")), "pos_x=7\r\n");
    EXPECT_TRUE(reports.empty());
}

TEST(SettingsFile, AFolderThatCannotBeMadeIsReportedOnce) {
    TempDir dir;
    ScopedWorkingDir work(dir.Path());
    // A file where a folder should be stops even root from making the folder.
    WriteText(dir.File("blocked"), "");
    const std::string configHome = dir.File("blocked/config");
    ScopedEnvironment xdg("XDG_CONFIG_HOME", configHome.c_str());
    std::vector<std::string> reports;
    SettingsFile file([&reports](const std::string& line) { reports.push_back(line); });

    SettingsMap map;
    file.Load(map);
    map["pos_x"] = "3";
    EXPECT_FALSE(file.Save(map));
    EXPECT_FALSE(file.Save(map));
    EXPECT_EQ(reports,
              std::vector<std::string>{"WARNING: Can't create the settings folder " + configHome +
                                       "/vornak (Not a directory). The settings of "
                                       "this session are not kept."});
    EXPECT_FALSE(std::filesystem::exists(dir.File("vornak.ini")));
}

}  // namespace
}  // namespace vornak
