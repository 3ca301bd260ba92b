// vornak-split --list-scenes --thumbnails / --contact-sheet: a picture per scene with its own
// colour, names that never overwrite, scenes without a picture said so, and contact sheets per
// input and per forty scenes.
#include "ScenePictures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ColourTape.h"
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

// Folders that cannot take the pictures, and names too long for them, are refused before any
// input is read (the input here does not exist: reading it would say so), with the reason.
TEST(ScenePictures, DestinationsAreRefusedBeforeAnyInputIsRead) {
    test::TempDir dir;
    const std::string missing = dir.File("missing.m2t");
    const std::string nowhere = dir.File("nowhere");
    const std::string regular = dir.File("regular");
    test::WriteAll(regular, {1});
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    // Root may write anywhere: the folder is no test then.
    const bool lockedHolds = ::access(locked.c_str(), W_OK) != 0;
    const std::string longBase(250, 'b');
    const std::string noFolder = " (No such file or directory)\n";
    const std::string cannot = "ERROR: This folder can't take new files: ";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"--thumbnails", nowhere, missing}, cannot + nowhere + noFolder},
        {{"--thumbnails", regular, missing}, cannot + regular + " (Not a directory)\n"},
        {{"--contact-sheet", nowhere + "/s.jpg", missing}, cannot + nowhere + noFolder},
        {{"--thumbnails", dir.Path() + "/", dir.File(longBase + ".m2t")},
         "ERROR: This file name is too long: " + dir.File(longBase + "-0000.jpg") +
             " (File name too long)\nvornak-split: not listed: " + dir.File(longBase + ".m2t") +
             "\n"},
        {{"--contact-sheet", dir.File(longBase + "xxxx.jpg"), missing},
         "ERROR: This file name is too long: " + dir.File(longBase + "xxxx-1.jpg") +
             " (File name too long)\nvornak-split: not listed: " + missing + "\n"},
    };
    if (lockedHolds) {
        cases.push_back(
            {{"--thumbnails", locked, missing}, cannot + locked + " (Permission denied)\n"});
        cases.push_back({{"--contact-sheet", locked + "/s.jpg", missing},
                         cannot + locked + " (Permission denied)\n"});
    }
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--list-scenes"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = Split(args);
        EXPECT_EQ(result.status, kExitFailed) << c.err;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

// A contact sheet is written under the name given, which must be a JPEG file's; anything else is
// bad usage, and nothing is written.
TEST(ScenePictures, ContactSheetNamesAreTakenAsGiven) {
    test::TempDir dir;
    const std::string one = WriteGeneratedTape(dir.File("one.m2t"), 1);
    const std::string two = WriteGeneratedTape(dir.File("two.m2t"), 1);
    const std::string pictures = dir.File("pictures");
    std::filesystem::create_directory(pictures);
    std::filesystem::create_directory(pictures + "/folder.jpg");
    const std::string usage = "vornak-split: --contact-sheet takes ";
    struct Case {
        std::string name;  // in the pictures folder, unless it starts with "/"
        std::vector<std::string> inputs;
        std::vector<std::string> written;  // the pictures folder's files after the run
        std::string error;                 // the usage error, if any
    };
    const std::vector<Case> cases = {
        {"s.jpg", {one}, {"s.jpg"}, ""},
        {"t.jpeg", {one}, {"s.jpg", "t.jpeg"}, ""},
        {"u.JPG", {one, two}, {"s.jpg", "t.jpeg", "u-one.JPG", "u-two.JPG"}, ""},
        {"pic.png",
         {one},
         {},
         "a name ending in .jpg or .jpeg, such as sheet.jpg, not 'P/pic.png'"},
        {".jpg", {one}, {}, "a name ending in .jpg or .jpeg, such as sheet.jpg, not 'P/.jpg'"},
        {"", {one}, {}, "a file name, not the folder 'P/'"},
        {"folder.jpg", {one}, {}, "a file name, not the folder 'P/folder.jpg'"},
        {"/dev/full", {one}, {}, "a file name, not '/dev/full', which is no regular file"},
    };
    std::vector<std::string> before;
    for (const Case& c : cases) {
        const std::string name = c.name.rfind('/', 0) == 0 ? c.name : pictures + "/" + c.name;
        std::vector<std::string> args = {"--list-scenes", "--contact-sheet", name};
        args.insert(args.end(), c.inputs.begin(), c.inputs.end());
        const auto result = Split(args);
        if (c.error.empty()) {
            EXPECT_EQ(result.status, kExitOk) << name << ": " << result.err;
            EXPECT_EQ(test::ListFiles(pictures), c.written) << name;
            before = c.written;
            continue;
        }
        std::string error = c.error;
        if (const std::size_t at = error.find("'P/"); at != std::string::npos) {
            error.replace(at + 1, 1, pictures);
        }
        EXPECT_EQ(result.status, kExitUsage) << name;
        EXPECT_EQ(result.err.substr(0, result.err.find('\n')), usage + error);
        EXPECT_EQ(test::ListFiles(pictures), before) << name;
    }
    EXPECT_FALSE(std::filesystem::exists("/dev/full.jpg"));
}

// A scene whose picture is 16 x 4080 gets a thumbnail that fits 320 x 240 like any other, and
// the scenes around it keep their thumbnails and their sheet.
TEST(ScenePictures, TallPictureCostsNoOtherScene) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(
                  tape, {{kColours[0]}, {kColours[1], "1:255", 1, "16x4080"}, {kColours[2]}}),
              "");
    const std::string pics = dir.File("pics");
    std::filesystem::create_directory(pics);
    const auto result = Split(
        {"--list-scenes", "--thumbnails", pics, "--contact-sheet", dir.File("sheet.jpg"), tape});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::vector<std::pair<int, int>> sizes = {{320, 180}, {2, 240}, {320, 180}};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const RgbImage image = test::ReadJpeg(
            ScenePictures::ThumbnailName(pics, "tape", static_cast<std::int32_t>(i)));
        EXPECT_EQ(std::make_pair(image.width, image.height), sizes[i]) << i;
    }
    const RgbImage sheet = test::ReadJpeg(dir.File("sheet.jpg"));
    ASSERT_FALSE(sheet.Empty());
    for (const std::size_t i : {0u, 2u}) {
        const int x = 12 + static_cast<int>(i) * (320 + 12) + 160;
        const std::size_t at = static_cast<std::size_t>((36 + 90) * sheet.Stride() + x * 3);
        const test::Colour colour{sheet.pixels[at], sheet.pixels[at + 1], sheet.pixels[at + 2]};
        EXPECT_TRUE(test::Near(colour, kColours[i])) << i << ": " << test::Text(colour);
    }
}

// An input that is not listed (the run was stopped, or the input failed) takes the thumbnails
// it had with it: every thumbnail left belongs to a listed scene.
TEST(ScenePictures, InputLeftOutTakesItsThumbnailsWithIt) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{kColours[0]}, {kColours[1]}}), "");
    test::CapturingLog listing;
    SceneSplitter job(tape, "unused", "m2t", nullptr, 0, true, false, "");
    job.SetListOnly(true);
    job.SetLog(&listing);
    job.Run();
    ASSERT_EQ(listing.Scenes().size(), 2u);
    const std::string pics = dir.File("pics");
    std::filesystem::create_directory(pics);
    test::WriteAll(pics + "/tape-0001.jpg", {1});  // not this run's: it stays

    ScenePictures pictures(pics, "", false);
    pictures.StartFile(tape);
    pictures.AddScene(listing.Scenes()[0]);
    pictures.AddScene(listing.Scenes()[1]);
    // The stop comes once a thumbnail is on the disk; it is a wait for that, not a timing.
    const auto waited = std::chrono::steady_clock::now();
    while (test::ListFiles(pics).size() < 2 &&
           std::chrono::steady_clock::now() - waited < std::chrono::seconds(60)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(test::ListFiles(pics).size(), 2u);
    test::CapturingLog log;
    pictures.EndFile(false, log);
    EXPECT_EQ(test::ListFiles(pics), std::vector<std::string>{"tape-0001.jpg"});
    EXPECT_TRUE(pictures.Thumbnails().empty());
    EXPECT_FALSE(pictures.Failed());
}

// The program itself, not only these tests, draws a contact sheet without a leak report under
// the sanitizer builds (in others the run shows only that it works).
TEST(ScenePictures, ContactSheetProgramRunsCleanOnItsOwn) {
    test::TempDir dir;
    const std::string tape = WriteGeneratedTape(dir.File("tape.m2t"), 2);
    EXPECT_EQ(test::RunSplitProgram({"--list-scenes", "--contact-sheet", dir.File("s.jpg"), tape},
                                    dir.File("out.txt"), dir.File("err.txt")),
              kExitOk)
        << test::ReadText(dir.File("err.txt"));
    // The generated tape's pictures cannot be decoded; nothing else is said.
    std::string expected;
    for (const char* number : {"0", "1"}) {
        expected += std::string("WARNING: Scene ") + number +
                    " has no thumbnail, its pictures cannot be decoded: " + tape + "\n";
    }
    EXPECT_EQ(test::ReadText(dir.File("err.txt")), expected);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("s.jpg")));
}

}  // namespace
}  // namespace vornak
