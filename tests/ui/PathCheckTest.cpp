#include "PathCheck.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "TestSupport.h"

namespace vornak {
namespace {

using test::TempDir;

// Longer than any file system allows for one name, yet a valid folder name by the rules.
const std::string kTooLongName(300, 'n');

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(PathCheck, FolderNameRules) {
    EXPECT_TRUE(IsValidFolderName("Tape 1"));
    EXPECT_TRUE(IsValidFolderName("a.b"));
    EXPECT_TRUE(IsValidFolderName("x"));
    // Control characters and bytes above 127 are ordinary characters.
    EXPECT_TRUE(IsValidFolderName("caf\xc3\xa9"));
    EXPECT_TRUE(IsValidFolderName("a\x01z"));

    EXPECT_FALSE(IsValidFolderName(""));
    for (const char* edge : {" a", "a ", ".a", "a.", "\ta", "a\t", ".", ".."}) {
        EXPECT_FALSE(IsValidFolderName(edge)) << '"' << edge << '"';
    }
    for (char forbidden : std::string("\"*/:<>?\\|")) {
        EXPECT_FALSE(IsValidFolderName(std::string("ab") + forbidden + "cd")) << forbidden;
    }
}

TEST(PathCheck, CheckOnlyJudgesTheTextAlone) {
    EXPECT_EQ(WalkPath("/", false), kPathValid);
    EXPECT_EQ(WalkPath("/surely/not/there/Tape 1", false), kPathValid);

    EXPECT_EQ(WalkPath("", false), kPathInvalid);
    EXPECT_EQ(WalkPath("Video/Tape1", false), kPathInvalid);    // relative
    EXPECT_EQ(WalkPath("./Video", false), kPathInvalid);        // relative
    EXPECT_EQ(WalkPath("/Video/", false), kPathInvalid);        // trailing separator
    EXPECT_EQ(WalkPath("/Video//Tape1", false), kPathInvalid);  // empty component
    EXPECT_EQ(WalkPath("//Video", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Vid?eo", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Video/a:b", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Video.", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Video/ Tape", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Video/Tape ", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/Video/../etc", false), kPathInvalid);
    // A bad last component is found after good ones, and a bad first one before good ones.
    EXPECT_EQ(WalkPath("/a/b/c|", false), kPathInvalid);
    EXPECT_EQ(WalkPath("/.a/b/c", false), kPathInvalid);
}

TEST(PathCheck, CheckOnlyCreatesNothing) {
    TempDir dir;
    EXPECT_EQ(WalkPath(dir.File("a/b"), false), kPathValid);
    EXPECT_FALSE(PathExists(dir.File("a")));
}

TEST(PathCheck, CreatesEveryMissingLevel) {
    TempDir dir;
    ASSERT_TRUE(IsFolder(dir.Path()));
    const std::string deepest = dir.File("Video/2006/Tape1");

    EXPECT_EQ(WalkPath(deepest, true), kPathValid);
    EXPECT_TRUE(IsFolder(dir.File("Video")));
    EXPECT_TRUE(IsFolder(dir.File("Video/2006")));
    EXPECT_TRUE(IsFolder(deepest));
    // Running it again over existing levels is no error.
    EXPECT_EQ(WalkPath(deepest, true), kPathValid);
    EXPECT_EQ(WalkPath("/", true), kPathValid);
}

TEST(PathCheck, LevelThatCannotBeCreatedKeepsTheOnesBefore) {
    TempDir dir;
    EXPECT_EQ(WalkPath(dir.File("made/" + kTooLongName + "/below"), true), kPathNotCreated);
    EXPECT_TRUE(IsFolder(dir.File("made")));

    // A file in the way of a deeper level.
    std::ofstream(dir.File("plain")) << "x";
    EXPECT_EQ(WalkPath(dir.File("plain/sub"), true), kPathNotCreated);
}

TEST(PathCheck, ExistingFileCountsAsThere) {
    TempDir dir;
    std::ofstream(dir.File("tape.m2t")) << "x";
    EXPECT_TRUE(PathExists(dir.File("tape.m2t")));
    EXPECT_EQ(WalkPath(dir.File("tape.m2t"), true), kPathValid);
    EXPECT_FALSE(PathExists(dir.File("other")));
}

}  // namespace
}  // namespace vornak
