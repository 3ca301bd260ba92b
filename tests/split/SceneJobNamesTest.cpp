// Where each input's scene files go: the same for vornak-split and the "Scenes splitting" page.
#include "SceneJobNames.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vornak {
namespace {

TEST(SceneJobNames, BuildsBaseNamesFromPathOutputDirAndName) {
    struct Case {
        std::string path;
        std::string outputDir;
        std::optional<std::string> name;
        std::string base;
        std::string extension;
    };
    const std::vector<Case> cases = {
        {"/in/tape.m2t", "", std::nullopt, "/in/tape", "m2t"},
        {"/in/tape.m2t", "/out", std::nullopt, "/out/tape", "m2t"},
        {"/in/tape.m2t", "/out/", std::nullopt, "/out/tape", "m2t"},
        {"/in/tape.m2t", "/out", "trip", "/out/trip", "m2t"},
        {"/in/tape.m2t", "", "trip", "trip", "m2t"},  // the name as typed
        {"tape.ts", "", std::nullopt, "tape", "ts"},
        {"tape.ts", "out", std::nullopt, "out/tape", "ts"},
        {"/in/clip.2006.m2t", "/out", std::nullopt, "/out/clip.2006", "m2t"},
        {"/in/tape", "", std::nullopt, "/in/tape", ""},
        {"/in/tape", "/out", std::nullopt, "/out/tape", ""},
        // A dot in a folder name is no extension.
        {"/in/v1.2/tape", "", std::nullopt, "/in/v1.2/tape", ""},
        {"/in/v1.2/tape", "/out", std::nullopt, "/out/tape", ""},
        {"/in/v1.2/tape.m2t", "/out", "trip", "/out/trip", "m2t"},
        {"./tape", "", std::nullopt, "./tape", ""},
    };
    for (const auto& c : cases) {
        SceneJobNames names = MakeSceneJobNames(c.path, c.outputDir, c.name);
        EXPECT_EQ(names.baseName, c.base) << c.path << " / " << c.outputDir;
        EXPECT_EQ(names.extension, c.extension) << c.path << " / " << c.outputDir;
    }
}

}  // namespace
}  // namespace vornak
