// The checks made before any work starts, on their own (the programs' tests show them in use).
#include "OutputCheck.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace vornak {
namespace {

// The trial name is the longest the naming gives: a date pattern that grows past the file
// system's limit is refused although the numbered name would fit.
TEST(OutputCheck, TrialNameIsTheLongestTheNamingGives) {
    test::TempDir dir;
    const std::string base = dir.File("tape");
    std::string pattern;
    for (int i = 0; i < 70; ++i) {
        pattern += "%Y";  // 2 characters that become 4
    }
    EXPECT_EQ(CheckSceneOutput(base, "m2t", 0, false, pattern), "");
    EXPECT_EQ(CheckSceneOutput(base, "m2t", 0, true, "-%Y_%M_%D-%h_%m_%s"), "");
    const std::string error = CheckSceneOutput(base, "m2t", 0, true, pattern);
    ASSERT_GT(error.size(), 21u);
    EXPECT_EQ(error.rfind("ERROR: This file name is too long: " + base, 0), 0u) << error;
    EXPECT_EQ(error.substr(error.size() - 21), " (File name too long)");
}

TEST(OutputCheck, FolderMustBeThereAndBeAFolder) {
    test::TempDir dir;
    const std::string file = dir.File("file");
    test::WriteAll(file, {1});
    EXPECT_EQ(CheckOutputFolder(dir.Path()), "");
    EXPECT_EQ(CheckOutputFolder(file),
              "ERROR: This folder can't take new files: " + file + " (Not a directory)");
    EXPECT_EQ(CheckOutputFile(dir.Path(), "a/b.m2t"),
              "ERROR: A file name can't contain \"/\": a/b.m2t");
    // A base name without a folder makes its files in the current one.
    EXPECT_EQ(CheckSceneOutput("tape", "m2t", 0, false, ""), "");
}

}  // namespace
}  // namespace vornak
