// Writing chosen scenes: the files written are byte for byte the files of the same scenes in a
// full split, under the same names, in both modes and both namings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

tape::SceneSpec Scene(int hour) {
    tape::SceneSpec scene;
    scene.start = tape::DateTime{2006, 5, 1, hour, 0, 0};
    scene.gops = 3;
    return scene;
}

// Runs one job into `dir` and returns its scenes as reported.
std::vector<SceneSummary> SplitInto(const std::string& input, const std::string& dir, bool sync,
                                    bool dateTimeNaming, const std::set<int>* chosen,
                                    test::CapturingLog& log) {
    std::filesystem::create_directory(dir);
    SceneSplitter job(input, {.baseName = dir + "/tape",
                              .extension = "m2t",
                              .dateTimeNaming = dateTimeNaming,
                              .syncAV = sync});
    job.SetLog(&log);
    if (chosen != nullptr) {
        job.SetSceneChoice([chosen](std::int32_t number) { return chosen->count(number) > 0; });
    }
    job.Run();
    EXPECT_FALSE(job.Failed());
    return log.Scenes();
}

TEST(SceneSplitter, ChosenScenesAreTheFilesOfAFullSplit) {
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    tape::TapeOptions options;
    options.pictureBytes = 3000;
    tape::TapeWriter writer(options);
    for (const tape::SceneSpec& scene : {Scene(10), Scene(11), Scene(12), Scene(13)}) {
        writer.AddScene(scene);
    }
    const std::string input = dir.File("tape.m2t");
    ASSERT_TRUE(writer.WriteFile(input));
    const std::set<int> chosen = {0, 3};

    for (bool sync : {false, true}) {
        for (bool dateTimeNaming : {false, true}) {
            SCOPED_TRACE(std::string(sync ? "sync" : "plain") +
                         (dateTimeNaming ? ", date" : ", count"));
            const std::string tag = std::to_string(sync) + std::to_string(dateTimeNaming);
            test::CapturingLog fullLog;
            test::CapturingLog chosenLog;
            const auto full =
                SplitInto(input, dir.File("full" + tag), sync, dateTimeNaming, nullptr, fullLog);
            const auto some =
                SplitInto(input, dir.File("some" + tag), sync, dateTimeNaming, &chosen, chosenLog);
            ASSERT_EQ(full.size(), 4u);
            ASSERT_EQ(some.size(), 4u);  // every scene is still reported, with its number

            std::vector<std::string> expectedNames;
            for (std::size_t i = 0; i < full.size(); ++i) {
                EXPECT_EQ(some[i].number, full[i].number);
                EXPECT_EQ(some[i].length, full[i].length);
                EXPECT_EQ(some[i].pictures, full[i].pictures);
                if (chosen.count(static_cast<int>(i)) == 0) {
                    EXPECT_EQ(some[i].path, "") << i;
                    continue;
                }
                const auto name = std::filesystem::path(full[i].path).filename().string();
                EXPECT_EQ(std::filesystem::path(some[i].path).filename().string(), name);
                EXPECT_EQ(test::ReadAll(some[i].path), test::ReadAll(full[i].path)) << name;
                expectedNames.push_back(name);
            }
            std::sort(expectedNames.begin(), expectedNames.end());
            EXPECT_EQ(test::ListFiles(dir.File("some" + tag)), expectedNames);
            // Skipped scenes are read all the same: the progress covers the whole input.
            EXPECT_EQ(chosenLog.Written(), fullLog.Written());
            EXPECT_EQ(chosenLog.LinesStartingWith("Creating new file: ").size(), 2u);
        }
    }
}

}  // namespace
}  // namespace vornak
