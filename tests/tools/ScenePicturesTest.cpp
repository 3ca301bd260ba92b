// vornak-split --list-scenes --thumbnails / --contact-sheet: a picture per scene with its own
// colour, names that never overwrite, scenes without a picture said so, and contact sheets per
// input and per forty scenes.
#include "ScenePictures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ColourTape.h"
#include "DvColourTape.h"
#include "SceneSplitter.h"
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

    // Without --thumbnails the document stays as it was.
    EXPECT_EQ(Split({"--list-scenes", "--json", tape}).out.find("thumbnail"), std::string::npos);
}

TEST(ScenePictures, ContactSheetPerInputAndPerFortyScenes) {
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    const std::string many = WriteGeneratedTape(dir.File("many.m2t"), 41);
    const std::string one = WriteGeneratedTape(dir.File("one.m2t"), 1);

    auto result = Split({"--list-scenes", "--contact-sheet", dir.File("sheet.jpg"), one});
    EXPECT_EQ(result.status, 0) << result.err;
    // Written again: the sheet in the way stays, the new one gets "-new".
    result = Split({"--list-scenes", "--contact-sheet", dir.File("sheet.jpg"), one});
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

// Folders that cannot take the pictures, and names too long for them, are refused before any
// input is read (the input does not exist: reading it would say so), with the reason.
TEST(ScenePictures, DestinationsAreRefusedBeforeAnyInputIsRead) {
    test::TempDir dir;
    const std::string missing = dir.File("missing.m2t");
    const std::string nowhere = dir.File("nowhere");
    const std::string longName = dir.File(std::string(250, 'b') + ".m2t");
    test::WriteAll(dir.File("file"), {1});
    std::filesystem::create_directory(dir.File("locked"));
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::owner_read);
    const std::string cannot = "ERROR: This folder can't take new files: ";
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--thumbnails", nowhere, missing}, cannot + nowhere + " (No such file or directory)\n"},
        {{"--thumbnails", dir.File("file"), missing},
         cannot + dir.File("file") + " (Not a directory)\n"},
        {{"--contact-sheet", nowhere + "/s.jpg", missing},
         cannot + nowhere + " (No such file or directory)\n"},
        {{"--thumbnails", dir.Path(), longName},
         "ERROR: This file name is too long: " + dir.File(std::string(250, 'b') + "-0000.jpg") +
             " (File name too long)\nvornak-split: not listed: " + longName + "\n"},
    };
    // A folder that refuses new files: root may write to any other.
    for (const std::string& locked : {dir.File("locked"), std::string("/proc/self")}) {
        if (::access(locked.c_str(), W_OK) != 0) {
            const std::string denied = cannot + locked + " (" + std::strerror(errno) + ")\n";
            cases.push_back({{"--thumbnails", locked, missing}, denied});
            cases.push_back({{"--contact-sheet", locked + "/s.jpg", missing}, denied});
            break;
        }
    }
    for (const auto& [args, err] : cases) {
        std::vector<std::string> all = {"--list-scenes"};
        all.insert(all.end(), args.begin(), args.end());
        const auto result = Split(all);
        EXPECT_EQ(result.status, kExitFailed) << err;
        EXPECT_EQ(result.err, err);
    }
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::owner_all);
}

// The sheet takes the name given, which must be a JPEG file's; anything else is bad usage.
TEST(ScenePictures, ContactSheetNamesAreTakenAsGiven) {
    test::TempDir dir;
    const std::string one = WriteGeneratedTape(dir.File("one.m2t"), 1);
    const std::string two = WriteGeneratedTape(dir.File("two.m2t"), 1);
    std::filesystem::create_directory(dir.File("d.jpg"));
    const std::string badName = "a name ending in .jpg or .jpeg, such as sheet.jpg, not '";
    struct Case {
        std::string name, written, error;
    };
    const std::vector<Case> cases = {
        {"s.jpeg", "s-one.jpeg s-two.jpeg", ""},
        {"t.JPG", "t-one.JPG t-two.JPG", ""},
        {"p.png", "", badName + dir.File("p.png") + "'"},
        {".jpg", "", badName + dir.File(".jpg") + "'"},
        {"d.jpg", "", "a file name, not the folder '" + dir.File("d.jpg") + "'"},
        {"/dev/full", "", "a file name, not '/dev/full', which is no regular file"},
    };
    for (const Case& c : cases) {
        const auto before = test::ListFiles(dir.Path());
        const std::string path = c.name[0] == '/' ? c.name : dir.File(c.name);
        const auto result = Split({"--list-scenes", "--contact-sheet", path, one, two});
        std::string written;
        for (const std::string& file : test::ListFiles(dir.Path())) {
            if (std::find(before.begin(), before.end(), file) == before.end()) {
                written += (written.empty() ? "" : " ") + file;
            }
        }
        EXPECT_EQ(written, c.written) << c.name;
        EXPECT_EQ(result.status, c.error.empty() ? kExitOk : kExitUsage) << c.name;
        EXPECT_EQ(result.err.rfind("vornak-split: --contact-sheet takes " + c.error + "\n", 0),
                  c.error.empty() ? std::string::npos : 0)
            << result.err;
    }
}

// The sheet shows each scene's thumbnail in its cell. A scene whose picture is 16 x 4080 gets a
// thumbnail within 320 x 240 like any other, and the scenes around it keep their thumbnails
// and their cells.
TEST(ScenePictures, ContactSheetShowsTheThumbnailsAndATallPictureCostsNoOtherScene) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    const struct {
        std::vector<test::ColourScene> scenes;
        bool thumbnails;                 // into the folder too: the second scene's is 2 x 240
        std::vector<std::size_t> cells;  // of the first row, whose colours are checked
    } cases[] = {
        {{{kColours[0]}, {kColours[1]}, {kColours[2]}}, false, {0, 1, 2}},
        {{{kColours[0]}, {kColours[1], "1:255", 1, "16x4080"}, {kColours[2]}}, true, {0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.thumbnails ? "a tall picture" : "plain pictures");
        test::TempDir dir;
        const std::string tape = dir.File("tape.m2t");
        ASSERT_EQ(test::WriteColourTape(tape, c.scenes), "");
        std::vector<std::string> args{"--list-scenes", "--contact-sheet", dir.File("s.jpg"), tape};
        if (c.thumbnails) {
            args.insert(args.begin() + 1, {"--thumbnails", dir.Path()});
        }
        const auto result = Split(args);
        ASSERT_EQ(result.status, kExitOk) << result.err;
        EXPECT_EQ(result.err, "");
        if (c.thumbnails) {
            const RgbImage tall = test::ReadJpeg(dir.File("tape-0001.jpg"));
            EXPECT_EQ(tall.width, 2);
            EXPECT_EQ(tall.height, 240);
        }
        const RgbImage sheet = test::ReadJpeg(dir.File("s.jpg"));
        ASSERT_FALSE(sheet.Empty());
        for (const std::size_t cell : c.cells) {
            // The middle of the cell, under the title.
            const int x = 12 + static_cast<int>(cell) * (320 + 12) + 160;
            const int y = 36 + 90;
            const auto at = static_cast<std::size_t>(y * sheet.Stride() + x * 3);
            const test::Colour colour{sheet.pixels[at], sheet.pixels[at + 1], sheet.pixels[at + 2]};
            EXPECT_TRUE(test::Near(colour, kColours[cell])) << cell << ": " << test::Text(colour);
        }
    }
}

// A raw DV tape, told by its content under any name: each scene's thumbnail at its display
// aspect with its colour, and the sheet fits both shapes into its cells.
TEST(ScenePictures, DvTapeGetsThumbnailsAtEachScenesAspect) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    const struct {
        test::DvColourScene scene;
        int width;
        int height;
    } scenes[] = {
        {{kColours[0], "4:3", 5, true}, 320, 240},
        {{kColours[1], "16:9", 5, true}, 320, 180},
        {{kColours[2], "4:3", 5, false}, 320, 240},
    };
    test::TempDir dir;
    const std::string tape = dir.File("tape.bin");
    std::vector<test::DvColourScene> specs;
    for (const auto& s : scenes) {
        specs.push_back(s.scene);
    }
    ASSERT_EQ(test::WriteDvColourTape(tape, specs), "");
    const auto result = Split(
        {"--list-scenes", "--thumbnails", dir.Path(), "--contact-sheet", dir.File("s.jpg"), tape});
    ASSERT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.err, "");
    const RgbImage sheet = test::ReadJpeg(dir.File("s.jpg"));
    ASSERT_FALSE(sheet.Empty());
    for (std::size_t i = 0; i < std::size(scenes); ++i) {
        SCOPED_TRACE(i);
        const RgbImage thumbnail =
            test::ReadJpeg(ScenePictures::ThumbnailName(dir.Path(), "tape", static_cast<int>(i)));
        EXPECT_EQ(thumbnail.width, scenes[i].width);
        EXPECT_EQ(thumbnail.height, scenes[i].height);
        EXPECT_TRUE(test::Near(test::CentreColour(thumbnail), kColours[i]))
            << test::Text(test::CentreColour(thumbnail));
        // The middle of the sheet's cell, under the title.
        const int x = 12 + static_cast<int>(i) * (320 + 12) + 160;
        const int y = 36 + 90;
        const auto at = static_cast<std::size_t>(y * sheet.Stride() + x * 3);
        const test::Colour colour{sheet.pixels[at], sheet.pixels[at + 1], sheet.pixels[at + 2]};
        EXPECT_TRUE(test::Near(colour, kColours[i])) << test::Text(colour);
    }
}

// In AVI and QuickTime files a DV scene's offset is its first frame's place in the container,
// whose own bytes lie between the frames: the pictures are still the scenes' own.
TEST(ScenePictures, DvInContainersGetsTheScenesPictures) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string raw = dir.File("raw.dv");
    ASSERT_EQ(test::WriteDvColourTape(
                  raw, {{kColours[0], "4:3", 5, true}, {kColours[1], "16:9", 5, true}}),
              "");
    for (const char* name : {"tape.avi", "tape.mov"}) {
        SCOPED_TRACE(name);
        const std::string tape = dir.File(name);
        const std::string command =
            "ffmpeg -v error -f dv -i '" + raw + "' -map 0 -c copy '" + tape + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        test::TempDir pictures;
        const auto result = Split({"--list-scenes", "--thumbnails", pictures.Path(), tape});
        ASSERT_EQ(result.status, kExitOk) << result.err;
        EXPECT_EQ(result.err, "");
        const struct {
            int height;
            test::Colour colour;
        } expected[] = {{240, kColours[0]}, {180, kColours[1]}};
        for (int i = 0; i < 2; ++i) {
            const RgbImage thumbnail =
                test::ReadJpeg(ScenePictures::ThumbnailName(pictures.Path(), "tape", i));
            EXPECT_EQ(thumbnail.width, 320) << i;
            EXPECT_EQ(thumbnail.height, expected[i].height) << i;
            EXPECT_TRUE(test::Near(test::CentreColour(thumbnail), expected[i].colour))
                << i << " " << test::Text(test::CentreColour(thumbnail));
        }
    }
}

// An input left out of the listing (the run was stopped, or the input failed) takes the
// thumbnails this run made for it along: every thumbnail left belongs to a listed scene.
TEST(ScenePictures, InputLeftOutTakesItsThumbnailsWithIt) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{kColours[0]}, {kColours[1]}}), "");
    test::CapturingLog log;
    SceneSplitter job(
        tape, {.baseName = "unused", .extension = "m2t", .dateFormat = "", .listOnly = true});
    job.SetLog(&log);
    job.Run();
    const std::string pics = dir.File("pics");
    std::filesystem::create_directory(pics);
    test::WriteAll(pics + "/tape-0001.jpg", {1});  // not this run's: it stays
    ScenePictures pictures(pics, "", false);
    pictures.StartFile(tape);
    for (const SceneSummary& scene : log.Scenes()) {
        pictures.AddScene(scene);
    }
    // The stop comes once a thumbnail is on the disk: a wait for that, not a timing.
    for (int i = 0; i < 60'000 && test::ListFiles(pics).size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(test::ListFiles(pics).size(), 2u);
    pictures.EndFile(false, log);
    EXPECT_EQ(test::ListFiles(pics), std::vector<std::string>{"tape-0001.jpg"});
    EXPECT_TRUE(pictures.Thumbnails().empty());
}

// The program itself, not only these tests, draws a sheet without a leak report under the
// sanitizer builds; elsewhere the run shows only that it works.
TEST(ScenePictures, ContactSheetProgramRunsCleanOnItsOwn) {
    test::TempDir dir;
    const std::string tape = WriteGeneratedTape(dir.File("tape.m2t"), 1);
    EXPECT_EQ(
        test::RunSplitProgram("--list-scenes --contact-sheet " + dir.File("s.jpg") + " " + tape,
                              "/dev/null", dir.File("err")),
        kExitOk);
    EXPECT_EQ(test::ReadText(dir.File("err")),
              "WARNING: Scene 0 has no thumbnail, its pictures cannot be decoded: " + tape + "\n");
}

}  // namespace
}  // namespace vornak
