#include "SceneThumbnailer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ColourTape.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

std::vector<SceneSummary> ListScenes(const std::string& path) {
    test::CapturingLog log;
    SceneSplitter job(
        path, {.baseName = "unused", .extension = "m2t", .dateFormat = "", .listOnly = true});
    job.SetLog(&log);
    job.Run();
    return log.Scenes();
}

// Each scene's thumbnail is its own first picture, 320 pixels wide at the display aspect
// ratio that its sequence header gives: 16:9 for HDV, and 4:3 where a clip says so.
TEST(SceneThumbnailer, EachSceneShowsItsOwnPictureAtItsAspectRatio) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::vector<test::ColourScene> colours = {
        {{220, 30, 30}}, {{30, 200, 40}}, {{40, 40, 220}}, {{230, 220, 40}, "4:3"}};
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, colours), "");
    const std::vector<SceneSummary> scenes = ListScenes(tape);
    ASSERT_EQ(scenes.size(), colours.size());

    SceneThumbnailer thumbnailer;
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        SCOPED_TRACE("scene " + std::to_string(i));
        RgbImage image;
        ASSERT_EQ(thumbnailer.Make(tape, static_cast<std::uint64_t>(scenes[i].offset),
                                   scenes[i].length, image),
                  SceneThumbnailer::Status::Made);
        EXPECT_EQ(image.width, 320);
        EXPECT_EQ(image.height, std::string(colours[i].aspect) == "4:3" ? 240 : 180);
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width * image.height * 3));
        const test::Colour centre = test::CentreColour(image);
        EXPECT_TRUE(test::Near(centre, colours[i].colour))
            << test::Text(centre) << " for " << test::Text(colours[i].colour);
    }
}

TEST(SceneThumbnailer, ScenesThatCannotBeDecodedGetNone) {
    test::TempDir dir;
    // The tape generator's pictures are shaped like MPEG-2 but hold no picture.
    tape::TapeOptions options;
    options.pictureBytes = 3000;
    tape::TapeWriter writer(options);
    tape::SceneSpec scene;
    scene.gops = 4;
    writer.AddScene(scene);
    const std::string generated = dir.File("generated.m2t");
    ASSERT_TRUE(writer.WriteFile(generated));
    const auto size = static_cast<std::uint64_t>(writer.Size());
    test::WriteAll(dir.File("noise.m2t"), test::ReadAll(generated));
    std::vector<std::uint8_t> noise(size);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>((i * 131 + 7) % 251);
    }
    test::WriteAll(dir.File("noise.m2t"), noise);

    struct Case {
        std::string path;
        std::uint64_t offset;
        std::uint64_t length;
        SceneThumbnailer::Status status;
    };
    const std::vector<Case> cases = {
        {generated, 0, size, SceneThumbnailer::Status::NoPicture},
        {dir.File("noise.m2t"), 0, size, SceneThumbnailer::Status::NoPicture},
        {generated, size + 1000, 5000, SceneThumbnailer::Status::NoPicture},
        {generated, 0, 0, SceneThumbnailer::Status::NoPicture},
        {dir.File("missing.m2t"), 0, size, SceneThumbnailer::Status::CannotOpen},
        {dir.Path(), 0, size, SceneThumbnailer::Status::CannotRead},
    };
    SceneThumbnailer thumbnailer;
    for (const Case& c : cases) {
        RgbImage image;
        EXPECT_EQ(thumbnailer.Make(c.path, c.offset, c.length, image), c.status)
            << c.path << " at " << c.offset;
        EXPECT_TRUE(image.Empty());
    }
    EXPECT_STREQ(SceneThumbnailer::Reason(SceneThumbnailer::Status::NoPicture),
                 "its pictures cannot be decoded");
}

}  // namespace
}  // namespace vornak
