// vornak-split --list-scenes: the table and the JSON document say the same, match the files a
// split writes and the dates written into the tape, and problems end in the usual messages.
#include "SceneListing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "DvTestFrames.h"
#include "SplitCommand.h"
#include "SplitRun.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using nlohmann::json;

constexpr std::size_t kPictureBytes = 1500;
constexpr int kGopLength = 12;

using test::RunResult;
using test::Split;

tape::SceneSpec Scene(tape::DateTime start, int gops, bool closed = false, bool twoDates = false) {
    tape::SceneSpec scene;
    scene.start = start;
    scene.gops = gops;
    scene.closedFirstGop = closed;
    scene.secondDatePack = twoDates;
    return scene;
}

struct Tape {
    std::string path;
    tape::TapeWriter writer;
};

// A backward jump, closed groups with two date packs, the turn of a year and a broken picture.
Tape WriteTape(const std::string& path) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    options.gopLength = kGopLength;
    options.brokenPictures = {30};
    Tape tape{path, tape::TapeWriter(options)};
    tape.writer.AddScene(Scene({2006, 12, 31, 23, 59, 57}, 8));
    tape.writer.AddScene(Scene({2006, 12, 31, 23, 0, 0}, 3, true, true));
    tape.writer.AddScene(Scene({2006, 12, 31, 23, 0, 1}, 2, true, true));
    EXPECT_TRUE(tape.writer.WriteFile(path)) << path;
    return tape;
}

// The table's rows, each split at white space, without the file line and the heading.
std::vector<std::vector<std::string>> TableRows(const std::string& text, const std::string& path) {
    std::istringstream in(text);
    std::string line;
    bool inFile = false;
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        if (line.rfind(path + ": ", 0) == 0) {
            inFile = true;
            std::getline(in, line);  // the heading
            continue;
        }
        if (line.find(": ") != std::string::npos) {
            inFile = false;
        }
        if (inFile) {
            std::istringstream words(line);
            std::vector<std::string> row;
            for (std::string word; words >> word;) {
                row.push_back(word);
            }
            rows.push_back(row);
        }
    }
    return rows;
}

struct Scratch {
    test::ScopedTimeZone tz{"UTC"};
    test::TempDir dir;
};

TEST(SceneListing, TableAndJsonAgreeWithTheTapeAndTheSplit) {
    Scratch scratch;
    Tape a = WriteTape(scratch.dir.File("a.m2t"));
    tape::TapeOptions plainOptions;
    plainOptions.pictureBytes = kPictureBytes;
    Tape b{scratch.dir.File("b.m2t"), tape::TapeWriter(plainOptions)};
    b.writer.AddScene(Scene({2007, 3, 4, 10, 0, 0}, 2));
    ASSERT_TRUE(b.writer.WriteFile(b.path));

    const RunResult text = Split({"--list-scenes", a.path, b.path});
    const RunResult doc = Split({"--list-scenes", "--json", a.path, b.path});
    ASSERT_EQ(text.status, kExitOk) << text.err;
    ASSERT_EQ(doc.status, kExitOk) << doc.err;
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(doc.err, "");
    EXPECT_EQ(scratch.dir.Path() + "/a.m2t", a.path);
    EXPECT_EQ(test::ListFiles(scratch.dir.Path()), (std::vector<std::string>{"a.m2t", "b.m2t"}));

    const json parsed = json::parse(doc.out);
    ASSERT_EQ(parsed["files"].size(), 2u);
    const json& first = parsed["files"][0];
    EXPECT_EQ(first["path"], a.path);
    EXPECT_EQ(first["size"], a.writer.Size());
    ASSERT_EQ(first["scenes"].size(), 3u);

    // What the tape holds.
    const auto& gops = a.writer.Gops();
    const std::vector<std::uint64_t> cuts = a.writer.SceneCuts();
    for (std::size_t s = 0; s < 3; ++s) {
        const json& scene = first["scenes"][s];
        std::vector<const tape::GopInfo*> own;
        for (const auto& gop : gops) {
            if (gop.scene == static_cast<int>(s)) {
                own.push_back(&gop);
            }
        }
        EXPECT_EQ(scene["number"], s);
        EXPECT_EQ(scene["offset"], cuts[s]);
        EXPECT_EQ(scene["first_date"], test::IsoText(own.front()->date));
        EXPECT_EQ(scene["last_date"], test::IsoText(own.back()->date));
        EXPECT_EQ(scene["pictures"], own.size() * kGopLength);
        EXPECT_DOUBLE_EQ(scene["duration"].get<double>(), own.size() * kGopLength / 25.0);
        EXPECT_EQ(scene["broken_pictures"], s == 0 ? 1 : 0);  // picture 30 is in group 2
    }
    EXPECT_EQ(first["scenes"][0]["last_date"], "2007-01-01T00:00:00");

    // The files a split writes have the listed lengths.
    const std::string out = scratch.dir.File("out");
    std::filesystem::create_directory(out);
    ASSERT_EQ(Split({"--quiet", "--naming", "count", "--output-dir", out, a.path, b.path}).status,
              kExitOk);
    const std::vector<std::string> files = test::ListFiles(out);
    ASSERT_EQ(files.size(), 4u);
    std::size_t next = 0;
    for (const json& file : parsed["files"]) {
        for (const json& scene : file["scenes"]) {
            EXPECT_EQ(scene["length"], std::filesystem::file_size(out + "/" + files.at(next)))
                << files.at(next);
            ++next;
        }
    }

    // The table says the same as the document, row for row.
    for (const json& file : parsed["files"]) {
        const std::string path = file["path"];
        EXPECT_NE(text.out.find(path + ": " + std::to_string(file["size"].get<std::uint64_t>()) +
                                " bytes, " + std::to_string(file["scenes"].size())),
                  std::string::npos)
            << text.out;
        const auto rows = TableRows(text.out, path);
        ASSERT_EQ(rows.size(), file["scenes"].size()) << text.out;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const json& scene = file["scenes"][i];
            std::string firstDate = scene["first_date"];
            std::string lastDate = scene["last_date"];
            firstDate[10] = ' ';
            lastDate[10] = ' ';
            char duration[32];
            std::snprintf(duration, sizeof duration, "%.2f", scene["duration"].get<double>());
            const std::vector<std::string> want = {
                std::to_string(scene["number"].get<int>()),
                std::to_string(scene["offset"].get<std::uint64_t>()),
                std::to_string(scene["length"].get<std::uint64_t>()),
                firstDate.substr(0, 10),
                firstDate.substr(11),
                lastDate.substr(0, 10),
                lastDate.substr(11),
                std::to_string(scene["pictures"].get<std::uint64_t>()),
                duration,
                "s",
                std::to_string(scene["broken_pictures"].get<std::uint64_t>())};
            EXPECT_EQ(rows[i], want) << text.out;
        }
    }
}

TEST(SceneListing, SceneWithoutDatesHasNullDates) {
    Scratch scratch;
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    tape::SceneSpec scene;
    scene.gops = 3;
    scene.noDates = true;
    writer.AddScene(scene);
    const std::string path = scratch.dir.File("nodates.m2t");
    ASSERT_TRUE(writer.WriteFile(path));

    const RunResult doc = Split({"--list-scenes", "--json", path});
    ASSERT_EQ(doc.status, kExitOk);
    const json parsed = json::parse(doc.out);
    const json& only = parsed["files"][0]["scenes"][0];
    EXPECT_TRUE(only["first_date"].is_null());
    EXPECT_TRUE(only["last_date"].is_null());
    EXPECT_EQ(only["length"], writer.Size());

    const RunResult text = Split({"--list-scenes", path});
    const auto rows = TableRows(text.out, path);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at(3), "-");
    EXPECT_EQ(rows[0].at(4), "-");
}

// A missing input and one that cannot be read (a folder, which even root cannot read) fail with the
// usual messages; the others are still listed, and the document stays valid.
TEST(SceneListing, InputsThatFailExitOneAndAreLeftOut) {
    Scratch scratch;
    const Tape good = WriteTape(scratch.dir.File("good.m2t"));
    const std::string missing = scratch.dir.File("missing.m2t");
    const std::string folder = scratch.dir.File("folder.m2t");
    std::filesystem::create_directory(folder);

    const RunResult doc = Split({"--list-scenes", "--json", missing, good.path, folder});
    EXPECT_EQ(doc.status, kExitFailed);
    const json parsed = json::parse(doc.out);
    ASSERT_EQ(parsed["files"].size(), 1u);
    EXPECT_EQ(parsed["files"][0]["path"], good.path);
    EXPECT_EQ(doc.err, "WARNING: Can't open file: " + missing +
                           "\nERROR: This is not a regular file: " + folder +
                           "\nvornak-split: not listed: " + missing +
                           "\nvornak-split: not listed: " + folder + "\n");

    const RunResult text = Split({"--list-scenes", missing});
    EXPECT_EQ(text.status, kExitFailed);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "WARNING: Can't open file: " + missing +
                            "\nvornak-split: not listed: " + missing + "\n");
}

TEST(SceneListing, OptionsThatDoNotGoWithAListingAreRefused) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--json", "a.m2t"}, "--json goes with --list-scenes"},
        {{"--list-scenes", "--sync", "a.m2t"},
         "--list-scenes lists the scenes of a split without --sync"},
        {{"--list-scenes", "--set-mtime", "a.m2t"},
         "--set-mtime sets the times of scene files, and --list-scenes writes none"},
        {{"--list-scenes=yes", "a.m2t"}, "option --list-scenes takes no value"},
        {{"--thumbnails", "pics", "a.m2t"}, "--thumbnails goes with --list-scenes"},
        {{"--contact-sheet=s.jpg", "a.m2t"}, "--contact-sheet goes with --list-scenes"},
        {{"--list-scenes", "--thumbnails=", "a.m2t"}, "option --thumbnails needs a value"},
        {{"--list-scenes", "a.m2t", "--contact-sheet"}, "option --contact-sheet needs a value"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult result = Split(args);
        EXPECT_EQ(result.status, kExitUsage) << message;
        EXPECT_EQ(result.err.rfind("vornak-split: " + message + "\n", 0), 0u) << result.err;
    }
}

// File names are bytes: valid UTF-8 and the usual escapes read as before, and each byte that is
// not UTF-8 becomes its surrogate escape, whatever sequence it breaks.
TEST(SceneListing, PathsKeepEveryByteInTheJson) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"caf\xc3\xa9 \xf0\x9f\x8e\xa5", "\"caf\xc3\xa9 \xf0\x9f\x8e\xa5\""},
        {"caf\xe9-\xff", R"("caf\udce9-\udcff")"},
        {"\xc0\xaf\xed\xa0\x80", R"("\udcc0\udcaf\udced\udca0\udc80")"},  // overlong, surrogate
        {"\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},            // past U+10FFFF
        {"\xe2\x82"
         "A",
         R"("\udce2\udc82A")"},  // cut short
        {"a\"b\\c\n\x01\x7f", R"("a\"b\\c\n\u0001)"
                              "\x7f\""},
    };
    for (const auto& [path, literal] : cases) {
        const std::string text = SceneListing::Json({{path, 10, {}}});
        EXPECT_NE(text.find("\"path\": " + literal + ",\n"), std::string::npos) << text;
    }
}

// The paths a document prints lead to the files on the disk, once the escapes are read back as
// Python's os.fsencode() reads them.
TEST(SceneListing, NamesThatAreNotUtf8LeadToTheirFiles) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::string tape = dir.File("caf\xe9.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{{200, 40, 40}}}), "");
    const std::string pics = dir.File("pics-\xff");
    std::filesystem::create_directory(pics);
    const RunResult result = Split({"--list-scenes", "--json", "--thumbnails", pics, tape});
    ASSERT_EQ(result.status, kExitOk) << result.err;
    const auto value = [&result](const std::string& key) {
        const std::size_t start = result.out.find("\"" + key + "\": \"") + key.size() + 5;
        std::string text = result.out.substr(start, result.out.find('"', start) - start);
        for (std::size_t at; (at = text.find("\\udc")) != std::string::npos;) {
            text.replace(at, 6, 1,
                         static_cast<char>(std::stoi(text.substr(at + 4, 2), nullptr, 16)));
        }
        return text;
    };
    EXPECT_EQ(value("path"), tape);
    EXPECT_EQ(value("thumbnail"), pics + "/caf\xe9-0000.jpg");
    EXPECT_TRUE(std::filesystem::is_regular_file(value("thumbnail")));
}

// A DV input's table and document add the DV facts of each scene, and only a DV input's: an
// HDV input listed with it keeps its table heading and keys as they always were.
TEST(SceneListing, DvScenesAddTheirSystemAspectTimecodesAndDamage) {
    Scratch scratch;
    std::vector<std::uint8_t> tape;
    const auto add = [&tape](const std::vector<std::uint8_t>& frame) {
        tape.insert(tape.end(), frame.begin(), frame.end());
    };
    dv::test::FrameSetup pal;
    pal.stamp = {7, 6, 15, 10, 0, 0};
    pal.wide = true;
    for (int frame = 0; frame < 3; ++frame) {
        pal.tc = {0, 0, 1, frame};
        add(dv::test::MakeFrame(pal));
    }
    dv::test::FrameSetup ntsc;
    ntsc.system = dv::DvSystem::k525_60;
    ntsc.stamp = {7, 6, 15, 10, 0, 1};  // a new system, not a new date, cuts
    ntsc.timecode = false;
    std::vector<std::uint8_t> damaged = dv::test::MakeFrame(ntsc);
    damaged[dv::test::VideoBlockAt(1, 2, 3) + dv::kVideoStaByte] = 0xF0;
    damaged[dv::test::AudioDataAt(0, 0)] = 0x80;
    add(damaged);
    add(dv::test::MakeFrame(ntsc));
    const std::string path = scratch.dir.File("tape.dv");
    test::WriteAll(path, tape);
    const Tape hdv = WriteTape(scratch.dir.File("hdv.m2t"));

    const RunResult text = Split({"--list-scenes", path, hdv.path});
    ASSERT_EQ(text.status, kExitOk) << text.err;
    const std::string dvTable = text.out.substr(0, text.out.find(hdv.path));
    EXPECT_EQ(dvTable,
              path +
                  ": 672000 bytes, DV, 2 scenes\n"
                  "scene        offset        length  first date           last date       "
                  "     pictures   duration  broken  system aspect first timecode last "
                  "timecode  damaged video damaged audio\n"
                  "    0             0        432000  2007-06-15 10:00:00  2007-06-15 "
                  "10:00:00         3     0.12 s       0  625/50 16:9   00:00:01:00    "
                  "00:00:01:02                0             0\n"
                  "    1        432000        240000  2007-06-15 10:00:01  2007-06-15 "
                  "10:00:01         2     0.07 s       0  525/60 4:3    -              -"
                  "                          1             1\n");
    EXPECT_NE(text.out.find("\nscene        offset        length  first date           last "
                            "date            pictures   duration  broken\n"),
              std::string::npos)
        << text.out;

    const RunResult doc = Split({"--list-scenes", "--json", path, hdv.path});
    ASSERT_EQ(doc.status, kExitOk) << doc.err;
    // Keys in the order the document gives them.
    const nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(doc.out);
    const nlohmann::ordered_json& scenes = parsed["files"][0]["scenes"];
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0].dump(),
              R"({"number":0,"offset":0,"length":432000,"first_date":"2007-06-15T10:00:00",)"
              R"("last_date":"2007-06-15T10:00:00","pictures":3,"duration":0.12,)"
              R"("broken_pictures":0,"format":"DV","system":"625/50","aspect":"16:9",)"
              R"("frames":3,"first_timecode":"00:00:01:00","last_timecode":"00:00:01:02",)"
              R"("damaged_video_frames":0,"damaged_audio_frames":0})");
    EXPECT_EQ(scenes[1]["system"], "525/60");
    EXPECT_EQ(scenes[1]["aspect"], "4:3");
    EXPECT_TRUE(scenes[1]["first_timecode"].is_null());
    EXPECT_TRUE(scenes[1]["last_timecode"].is_null());
    EXPECT_EQ(scenes[1]["damaged_video_frames"], 1);
    EXPECT_EQ(scenes[1]["damaged_audio_frames"], 1);
    EXPECT_DOUBLE_EQ(scenes[1]["duration"].get<double>(), 2 * 1001.0 / 30000.0);
    for (const nlohmann::ordered_json& scene : parsed["files"][1]["scenes"]) {
        EXPECT_FALSE(scene.contains("format")) << scene.dump();
        EXPECT_FALSE(scene.contains("frames")) << scene.dump();
    }
}

}  // namespace
}  // namespace vornak
