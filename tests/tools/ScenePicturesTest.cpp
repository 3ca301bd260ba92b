// vornak-split --list-scenes --thumbnails / --contact-sheet: a picture per scene with its own
// colour, names that never overwrite, scenes without a picture said so, and contact sheets per
// input and per forty scenes.
#include "ScenePictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "SplitRun.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using nlohmann::json;
using test::Split;

const std::vector<test::Colour> kColours = {{220, 30, 30}, {30, 200, 40}, {40, 40, 220}};

// A tape of `scenes` scenes whose pictures cannot be decoded.
std::string WriteGeneratedTape(const std::string& path, int scenes) {
    tape::TapeOptions options;
    options.pictureBytes = 1500;
    tape::TapeWriter writer(options);
    for (int i = 0; i < scenes; ++i) {
        tape::SceneSpec scene;
        scene.start = tape::DateTime{2006, 5, 1 + i / 24, i % 24, 0, 0};
        scene.gops = 1;
        writer.AddScene(scene);
    }
    EXPECT_TRUE(writer.WriteFile(path));
    return path;
}

TEST(ScenePictures, ThumbnailsShowEachSceneAndNeverOverwrite) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{kColours[0]}, {kColours[1]}, {kColours[2]}}), "");
    const std::string generated = WriteGeneratedTape(dir.File("generated.m2t"), 1);
    const std::string pics = dir.File("pics");
    std::filesystem::create_directory(pics);
    // In the way of scene 1: it and the scenes after it move on to "-new".
    test::WriteAll(pics + "/tape-0001.jpg", {1, 2, 3});

    const auto result = Split({"--list-scenes", "--json", "--thumbnails", pics, tape, generated});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "WARNING: This file already exists and won't be overwritten: " + pics +
                              "/tape-0001.jpg\n"
                              "WARNING: Scene 0 has no thumbnail, its pictures cannot be "
                              "decoded: " +
                              generated + "\n");
    const json document = json::parse(result.out);
    const json& scenes = document["files"][0]["scenes"];
    ASSERT_EQ(scenes.size(), 3u);
    const std::vector<std::string> names = {pics + "/tape-0000.jpg", pics + "/tape-new-0001.jpg",
                                            pics + "/tape-new-0002.jpg"};
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        ASSERT_EQ(scenes[i]["thumbnail"], names[i]);
        const RgbImage image = test::ReadJpeg(names[i]);
        EXPECT_EQ(image.width, 320);
        EXPECT_EQ(image.height, 180);
        EXPECT_TRUE(test::Near(test::CentreColour(image), kColours[i]))
            << i << ": " << test::Text(test::CentreColour(image));
    }
    EXPECT_TRUE(document["files"][1]["scenes"][0]["thumbnail"].is_null());
    EXPECT_EQ(test::ReadAll(pics + "/tape-0001.jpg"), (std::vector<std::uint8_t>{1, 2, 3}));

    // Without --thumbnails the document stays as it was; a missing folder stops the run.
    EXPECT_EQ(Split({"--list-scenes", "--json", tape}).out.find("thumbnail"), std::string::npos);
    const auto missing = Split({"--list-scenes", "--thumbnails", dir.File("nowhere"), tape});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "vornak-split: thumbnail directory does not exist: " + dir.File("nowhere") + "\n");
}

TEST(ScenePictures, ContactSheetPerInputAndPerFortyScenes) {
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    const std::string many = WriteGeneratedTape(dir.File("many.m2t"), 41);
    const std::string one = WriteGeneratedTape(dir.File("one.m2t"), 1);

    auto result = Split({"--list-scenes", "--contact-sheet", dir.File("sheet.jpg"), one});
    EXPECT_EQ(result.status, 0) << result.err;
    // Written again: the sheet in the way stays, the new one gets "-new".
    result = Split({"--list-scenes", "--contact-sheet", dir.File("sheet.JPG"), one});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("WARNING: This file already exists and won't be overwritten: " +
                              dir.File("sheet.jpg") + "\n"),
              std::string::npos)
        << result.err;
    result = Split({"--list-scenes", "--contact-sheet", dir.File("all.jpg"), many, one});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test::ListFiles(dir.Path()),
              (std::vector<std::string>{"all-many-1.jpg", "all-many-2.jpg", "all-one.jpg",
                                        "many.m2t", "one.m2t", "sheet-new.jpg", "sheet.jpg"}));
    // Four columns; ten rows on a full page, one on the last.
    const RgbImage full = test::ReadJpeg(dir.File("all-many-1.jpg"));
    const RgbImage rest = test::ReadJpeg(dir.File("all-many-2.jpg"));
    const RgbImage single = test::ReadJpeg(dir.File("all-one.jpg"));
    EXPECT_EQ(full.width, 4 * 320 + 5 * 12);
    EXPECT_EQ(rest.width, full.width);
    EXPECT_EQ(rest.height, single.height);
    EXPECT_GT(full.height, 10 * 180);
    EXPECT_LT(rest.height, 2 * 180);
}

TEST(ScenePictures, ContactSheetShowsTheThumbnails) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{kColours[0]}, {kColours[1]}, {kColours[2]}}), "");
    const auto result = Split({"--list-scenes", "--contact-sheet", dir.File("s.jpg"), tape});
    ASSERT_EQ(result.status, 0) << result.err;
    const RgbImage sheet = test::ReadJpeg(dir.File("s.jpg"));
    ASSERT_FALSE(sheet.Empty());
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        // The middle of cell i of the first row, under the title.
        const int x = 12 + static_cast<int>(i) * (320 + 12) + 160;
        const int y = 36 + 90;
        const std::size_t at = static_cast<std::size_t>(y * sheet.Stride() + x * 3);
        const test::Colour colour{sheet.pixels[at], sheet.pixels[at + 1], sheet.pixels[at + 2]};
        EXPECT_TRUE(test::Near(colour, kColours[i])) << i << ": " << test::Text(colour);
    }
}

}  // namespace
}  // namespace vornak
