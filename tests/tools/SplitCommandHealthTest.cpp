// vornak-split's health report: --report, --report-image, --fail-on-damage and --decode.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "HealthReport.h"
#include "SplitCommand.h"
#include "SplitRun.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::ListFiles;
using test::RunResult;
using test::Split;

constexpr std::size_t kPictureBytes = 1500;

std::string WriteTape(const std::string& path, std::vector<long> brokenPictures = {}) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    options.brokenPictures = std::move(brokenPictures);
    tape::TapeWriter writer(options);
    for (int hour : {14, 15}) {
        tape::SceneSpec scene;
        scene.start = tape::DateTime{2006, 5, 1, hour, 3, 59};
        scene.gops = 4;
        writer.AddScene(scene);
    }
    EXPECT_TRUE(writer.WriteFile(path)) << path;
    return path;
}

nlohmann::json ReadJson(const std::string& path) {
    return nlohmann::json::parse(test::ReadText(path));
}

struct Scratch {
    test::ScopedTimeZone tz{"UTC"};
    test::TempDir dir;
};

// Runs the command with `services`, as main() hands them over.
RunResult SplitWith(const std::vector<std::string>& args, const SplitServices& services) {
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.status = RunSplitCommand(args, out, err, false, nullptr, services);
    result.out = out.str();
    result.err = err.str();
    return result;
}

TEST(SplitCommandHealth, HealthOptionsNeedAReport) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--decode", "a.m2t"}, "--decode goes with --report or --report-image"},
        {{"--fail-on-damage", "a.m2t"}, "--fail-on-damage goes with --report or --report-image"},
        {{"--report=", "a.m2t"}, "option --report needs a value"},
        {{"--report-image", "", "a.m2t"}, "option --report-image needs a value"},
        {{"--report", "x", "--report-image", "x", "a.m2t"},
         "--report and --report-image need two files"},
        {{"--report", "x", "--decode", "a.m2t"},
         "--decode is not available: this build decodes no pictures"},
        {{"--report-image", "x.png", "a.m2t"},
         "--report-image is not available: this build draws no pictures"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult result = Split(args);
        EXPECT_EQ(result.status, kExitUsage) << message;
        EXPECT_NE(result.err.find("vornak-split: " + message + "\n"), std::string::npos)
            << result.err;
    }
    const std::string help = SplitUsage();
    for (const char* option : {"--report FILE.json", "--report-image FILE.png", "--decode",
                               "--fail-on-damage", "4 with --fail-on-damage"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

// The report holds every scene of a split or a listing, and the summary goes to standard
// output; a clean tape exits 0 also with --fail-on-damage.
TEST(SplitCommandHealth, ReportOfACleanTape) {
    Scratch scratch;
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"));
    for (const bool listing : {false, true}) {
        const std::string report = scratch.dir.File(listing ? "listed.json" : "split.json");
        std::vector<std::string> args = {"--naming",         "count", "--report", report,
                                         "--fail-on-damage", tape};
        if (listing) {
            args.insert(args.begin(), "--list-scenes");
        }
        const RunResult result = Split(args);
        EXPECT_EQ(result.status, kExitOk) << result.err;
        const nlohmann::json document = ReadJson(report);
        EXPECT_EQ(document["vornak_health_report"], 1);
        ASSERT_EQ(document["inputs"].size(), 1u);
        const nlohmann::json& input = document["inputs"][0];
        EXPECT_EQ(input["path"], tape);
        EXPECT_EQ(input["format"], "HDV");
        EXPECT_EQ(input["complete"], true);
        ASSERT_EQ(input["scenes"].size(), 2u);
        EXPECT_EQ(input["scenes"][1]["first_date"], "2006-05-01 15:03:59");
        EXPECT_EQ(input["scenes"][1]["file"],
                  listing ? nlohmann::json() : nlohmann::json(scratch.dir.File("tape-0001.m2t")));
        for (const nlohmann::json& scene : input["scenes"]) {
            EXPECT_EQ(scene["findings"], nlohmann::json::array());
        }
        const std::string summary = document["summary"];
        EXPECT_NE(result.out.find("Health report: " + report + "\n" + summary + "\n"),
                  std::string::npos)
            << result.out;
    }
}

// A broken picture is a finding of the scene it lies in: the report says so, the summary names
// it, and --fail-on-damage exits 4 for it, in a split as in a listing. Disabled until the
// transport-stream job's health check is on this branch: without it no scene has findings.
TEST(SplitCommandHealth, DamageIsReportedAndFailOnDamageExitsFour) {
    Scratch scratch;
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"), {20});
    for (const bool failOnDamage : {false, true}) {
        const std::string report = scratch.dir.File(failOnDamage ? "fail.json" : "r.json");
        std::vector<std::string> args = {"--list-scenes", "--report", report, tape};
        if (failOnDamage) {
            args.insert(args.begin(), "--fail-on-damage");
        }
        const RunResult result = Split(args);
        EXPECT_EQ(result.status, failOnDamage ? kExitDamage : kExitOk) << result.err;
        const nlohmann::json document = ReadJson(report);
        const nlohmann::json& scenes = document["inputs"][0]["scenes"];
        ASSERT_EQ(scenes.size(), 2u);
        EXPECT_EQ(scenes[0]["clean"], false);
        EXPECT_EQ(scenes[1]["clean"], true);
        ASSERT_EQ(scenes[0]["findings"].size(), 1u);
        const nlohmann::json& finding = scenes[0]["findings"][0];
        EXPECT_EQ(finding["kind"], "broken_picture");
        EXPECT_EQ(finding["count"], 1);
        EXPECT_EQ(finding["first"]["picture"], 20);
        EXPECT_EQ(finding["first"]["date"], "2006-05-01 14:03:59");
        const std::string summary = document["summary"];
        EXPECT_EQ(summary.rfind("2 scenes, 1 with damage: scene 0: 1 broken picture", 0), 0u)
            << summary;
        EXPECT_NE(result.out.find(summary + "\n"), std::string::npos) << result.out;
    }
}

// A listing as JSON keeps standard output for its document.
TEST(SplitCommandHealth, SummaryGoesToStandardErrorBesideAJsonListing) {
    Scratch scratch;
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"));
    const std::string report = scratch.dir.File("r.json");
    const RunResult result = Split({"--list-scenes", "--json", "--report", report, tape});
    EXPECT_EQ(result.status, kExitOk);
    EXPECT_EQ(nlohmann::json::parse(result.out)["files"].size(), 1u);
    EXPECT_EQ(result.err,
              "Health report: " + report + "\n" + std::string(ReadJson(report)["summary"]) + "\n");
}

// An input that fails still has its place in the report, marked as not read to its end, and
// the run keeps its failure status.
TEST(SplitCommandHealth, ReportIsWrittenWhenAnInputFails) {
    Scratch scratch;
    const std::string missing = scratch.dir.File("missing.m2t");
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"));
    const std::string report = scratch.dir.File("r.json");
    const RunResult result =
        Split({"--list-scenes", "--report", report, "--fail-on-damage", missing, tape});
    EXPECT_EQ(result.status, kExitFailed);
    const nlohmann::json document = ReadJson(report);
    ASSERT_EQ(document["inputs"].size(), 2u);
    EXPECT_EQ(document["inputs"][0]["path"], missing);
    EXPECT_EQ(document["inputs"][0]["complete"], false);
    EXPECT_EQ(document["inputs"][0]["scenes"], nlohmann::json::array());
    EXPECT_EQ(document["inputs"][1]["complete"], true);
    EXPECT_EQ(document["inputs"][1]["scenes"].size(), 2u);
    const std::string summary = document["summary"];
    EXPECT_EQ(summary.substr(0, summary.find('\n')), missing + ": no scenes (not read to its end)");
}

// Nothing is read, and nothing written, when the report or its picture would overwrite a file.
TEST(SplitCommandHealth, ExistingReportFilesAreRefusedBeforeReading) {
    Scratch scratch;
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"));
    const std::string taken = scratch.dir.File("taken");
    test::WriteText(taken, "kept");
    int drawn = 0;
    SplitServices services;
    services.writeImage = [&drawn](const std::string&, std::span<const HealthReportInput>,
                                   std::string&) {
        ++drawn;
        return true;
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--report", taken, tape},
         "ERROR: The report file already exists and won't be overwritten: " + taken},
        {{"--report-image", taken, tape},
         "ERROR: The report image already exists and won't be overwritten: " + taken},
        {{"--report", scratch.dir.File("new.json"), "--report-image", taken, tape},
         "ERROR: The report image already exists and won't be overwritten: " + taken},
        {{"--report", scratch.dir.File("no/r.json"), tape},
         "ERROR: The folder of the report file does not exist: " + scratch.dir.File("no/r.json")},
    };
    for (const auto& [args, message] : cases) {
        const RunResult result = SplitWith(args, services);
        EXPECT_EQ(result.status, kExitFailed) << message;
        EXPECT_EQ(result.err, message + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(test::ReadText(taken), "kept");
    EXPECT_EQ(ListFiles(scratch.dir.Path()), (std::vector<std::string>{"taken", "tape.m2t"}));
}

// The picture is drawn from the same inputs as the report, and a picture that cannot be
// written fails the run with the reason.
TEST(SplitCommandHealth, ReportImageIsDrawnFromTheInputs) {
    Scratch scratch;
    const std::string tape = WriteTape(scratch.dir.File("tape.m2t"));
    std::vector<HealthReportInput> drawn;
    std::string drawnPath;
    bool fail = false;
    SplitServices services;
    services.writeImage = [&](const std::string& path, std::span<const HealthReportInput> inputs,
                              std::string& reason) {
        drawnPath = path;
        drawn.assign(inputs.begin(), inputs.end());
        reason = path + ": out of memory";
        return !fail;
    };
    const std::string image = scratch.dir.File("r.png");
    RunResult result = SplitWith({"--list-scenes", "--report-image", image, tape}, services);
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(drawnPath, image);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].path, tape);
    EXPECT_EQ(drawn[0].scenes.size(), 2u);
    EXPECT_EQ(result.out.find("Health report:"), std::string::npos);  // no JSON file asked for

    fail = true;
    result = SplitWith({"--list-scenes", "--report-image", image, tape}, services);
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err,
              "ERROR: The report image could not be written: " + image + ": out of memory\n");
}

// The program itself decodes with libavcodec and draws with cairo: the report and its picture are
// written, and the status is 0 whatever they found.
TEST(SplitCommandHealth, ProgramDecodesAndDrawsTheReport) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "no ffmpeg program to make a decodable tape";
    }
    Scratch scratch;
    const std::string tape = scratch.dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{{200, 30, 30}}, {{30, 30, 200}}}), "");
    const std::string report = scratch.dir.File("r.json");
    const std::string image = scratch.dir.File("r.png");
    const std::string out = scratch.dir.File("out");
    const std::string err = scratch.dir.File("err");
    EXPECT_EQ(test::RunSplitProgram("--list-scenes --decode --report " + report +
                                        " --report-image " + image + " " + tape,
                                    out, err),
              kExitOk)
        << test::ReadText(err);
    const nlohmann::json document = ReadJson(report);
    ASSERT_EQ(document["inputs"].size(), 1u);
    EXPECT_EQ(document["inputs"][0]["scenes"].size(), 2u);
    const std::string picture = test::ReadText(image);
    EXPECT_EQ(picture.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_NE(test::ReadText(out).find("Health report: " + report + "\n"), std::string::npos);
}

}  // namespace
}  // namespace vornak
