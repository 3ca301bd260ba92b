#include "HealthReport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "TestSupport.h"

namespace vornak {
namespace {

HealthPlace Place(std::uint64_t picture, std::optional<dv::DvTimecode> timecode,
                  std::int64_t offset) {
    HealthPlace place;
    place.picture = picture;
    place.timecode = timecode;
    place.offset = offset;
    return place;
}

HealthFinding Finding(HealthKind kind, std::uint64_t count, std::uint64_t first,
                      std::uint64_t last) {
    return {kind, count, Place(first, std::nullopt, -1), Place(last, std::nullopt, -1)};
}

SceneSummary Scene(std::int32_t number, std::vector<HealthFinding> findings, bool checked = true) {
    SceneSummary scene;
    scene.number = number;
    scene.pictures = 100;
    scene.healthChecked = checked;
    scene.findings = std::move(findings);
    return scene;
}

// An HDV input with a clean scene and a damaged one, and a DV input whose only scene has
// blocks in error over a stretch; the HDV path needs escaping.
std::vector<HealthReportInput> TwoInputs() {
    HealthReportInput hdv;
    hdv.path = "tape \"one\"\\a.m2t";
    SceneSummary first = Scene(0, {});
    first.path = "out/a-0000.m2t";
    first.firstDate = RecordingDate{59, 3, 14, 2006, 5, 1};
    first.lastDate = RecordingDate{4, 4, 14, 2006, 5, 1};
    SceneSummary second = Scene(1, {});
    second.path = "out/a-0001.m2t";
    HealthPlace lost = Place(80, std::nullopt, 188000);
    lost.date = RecordingDate{1, 5, 14, 2006, 5, 1};
    second.findings.push_back({HealthKind::PacketsLost, 12, lost, lost});
    hdv.scenes = {first, second};

    HealthReportInput dvInput;
    dvInput.path = "b.dv";
    dvInput.complete = false;
    SceneSummary dvScene = Scene(0, {});
    dvScene.format = "DV";
    dvScene.firstTimecode = "00:01:00:00";
    dvScene.recordingStarts = {0, 40};
    dvScene.findings.push_back({HealthKind::VideoError, 310,
                                Place(25, dv::DvTimecode{0, 1, 1, 0, false}, 3600000),
                                Place(60, dv::DvTimecode{0, 1, 2, 10, false}, 8640000)});
    dvInput.scenes = {dvScene};
    return {hdv, dvInput};
}

TEST(HealthReport, JsonLaysOutEveryInputSceneAndFinding) {
    const std::vector<HealthReportInput> inputs = TwoInputs();
    const std::string expected = R"json({
  "vornak_health_report": 1,
  "inputs": [
    {
      "path": "tape \"one\"\\a.m2t",
      "format": "HDV",
      "complete": true,
      "scenes": [
        {
          "number": 0,
          "file": "out/a-0000.m2t",
          "fragment": false,
          "first_date": "2006-05-01 14:03:59",
          "last_date": "2006-05-01 14:04:04",
          "pictures": 100,
          "first_timecode": null,
          "rec_start": [],
          "checked": true,
          "clean": true,
          "findings": []
        },
        {
          "number": 1,
          "file": "out/a-0001.m2t",
          "fragment": false,
          "first_date": null,
          "last_date": null,
          "pictures": 100,
          "first_timecode": null,
          "rec_start": [],
          "checked": true,
          "clean": false,
          "findings": [
            {
              "kind": "packets_lost",
              "count": 12,
              "first": {
                "picture": 80,
                "timecode": null,
                "date": "2006-05-01 14:05:01",
                "offset": 188000
              },
              "last": {
                "picture": 80,
                "timecode": null,
                "date": "2006-05-01 14:05:01",
                "offset": 188000
              }
            }
          ]
        }
      ]
    },
    {
      "path": "b.dv",
      "format": "DV",
      "complete": false,
      "scenes": [
        {
          "number": 0,
          "file": null,
          "fragment": false,
          "first_date": null,
          "last_date": null,
          "pictures": 100,
          "first_timecode": "00:01:00:00",
          "rec_start": [0, 40],
          "checked": true,
          "clean": false,
          "findings": [
            {
              "kind": "sta",
              "count": 310,
              "first": {
                "picture": 25,
                "timecode": "00:01:01:00",
                "date": null,
                "offset": 3600000
              },
              "last": {
                "picture": 60,
                "timecode": "00:01:02:10",
                "date": null,
                "offset": 8640000
              }
            }
          ]
        }
      ]
    }
  ],
  "summary": "tape \"one\"\\a.m2t: 2 scenes, 1 with damage: scene 1: 12 packets lost at picture 80\nb.dv: 1 scene, 1 with damage: scene 0: 310 video blocks in error from 00:01:01:00 to 00:01:02:10 (not read to its end)"
}
)json";
    EXPECT_EQ(HealthReport::Json(inputs), expected);
    EXPECT_TRUE(HealthReport::AnyDamage(inputs));
}

TEST(HealthReport, JsonOfAnInputWithoutScenes) {
    const std::vector<HealthReportInput> inputs = {{"c.m2t", {}, false}};
    EXPECT_EQ(HealthReport::Json(inputs), R"json({
  "vornak_health_report": 1,
  "inputs": [
    {
      "path": "c.m2t",
      "format": null,
      "complete": false,
      "scenes": []
    }
  ],
  "summary": "no scenes (not read to its end)"
}
)json");
}

TEST(HealthReport, SummaryNamesTheDamageOfEachScene) {
    const HealthFinding lost = Finding(HealthKind::PacketsLost, 12, 80, 80);
    const HealthFinding broken = Finding(HealthKind::BrokenPicture, 2, 90, 91);
    std::vector<SceneSummary> manyDamaged;
    for (std::int32_t number = 0; number < 12; ++number) {
        manyDamaged.push_back(Scene(number, {lost}));
    }
    std::string manyText = "12 scenes, 12 with damage: ";
    for (std::int32_t number = 0; number < 10; ++number) {
        manyText += (number == 0 ? "scene " : "; scene ") + std::to_string(number) +
                    ": 12 packets lost at picture 80";
    }
    manyText += "; and 2 more scenes with damage";
    struct Case {
        const char* name;
        std::vector<SceneSummary> scenes;
        std::string summary;
        bool damage;
    };
    const std::vector<Case> cases = {
        {"none", {}, "no scenes", false},
        {"one clean", {Scene(0, {})}, "1 scene, clean", false},
        {"three clean", {Scene(0, {}), Scene(1, {}), Scene(2, {})}, "3 scenes, all clean", false},
        {"two damaged",
         {Scene(0, {}), Scene(1, {lost, broken}), Scene(2, {broken})},
         "3 scenes, 2 with damage: scene 1: 12 packets lost at picture 80, 2 broken pictures "
         "from picture 90 to picture 91; scene 2: 2 broken pictures from picture 90 to picture "
         "91",
         true},
        {"findings capped",
         {Scene(4, {lost, broken, lost, broken, lost})},
         "1 scene, 1 with damage: scene 4: 12 packets lost at picture 80, 2 broken pictures from "
         "picture 90 to picture 91, 12 packets lost at picture 80 and 2 more",
         true},
        {"scenes capped", manyDamaged, manyText, true},
        {"not checked",
         {Scene(0, {}, false), Scene(1, {}, false)},
         "2 scenes, not checked for damage",
         false},
        {"partly checked",
         {Scene(0, {}, false), Scene(1, {lost})},
         "2 scenes, 1 with damage, 1 not checked: scene 1: 12 packets lost at picture 80",
         true},
    };
    for (const Case& test : cases) {
        const std::vector<HealthReportInput> inputs = {{"a.m2t", test.scenes, true}};
        EXPECT_EQ(HealthReport::Summary(inputs), test.summary) << test.name;
        EXPECT_EQ(HealthReport::AnyDamage(inputs), test.damage) << test.name;
    }
}

// A report goes into a new file, whole; a file already there is refused and kept as it was,
// and a missing folder is named before anything is read.
TEST(HealthReport, WritesOnlyANewFileAndWholly) {
    test::TempDir dir;
    const std::vector<HealthReportInput> inputs = TwoInputs();
    const auto read = [](const std::string& path) {
        std::ifstream file(path);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    };
    const std::string path = dir.File("report.json");
    EXPECT_EQ(HealthReport::PathProblem(path), "");
    std::string reason;
    ASSERT_TRUE(HealthReport::Write(path, inputs, reason)) << reason;
    EXPECT_EQ(read(path), HealthReport::Json(inputs));

    const std::string existing = dir.File("existing.json");
    std::ofstream(existing) << "kept";
    const std::string refusal =
        "ERROR: The report file already exists and won't be overwritten: " + existing;
    EXPECT_EQ(HealthReport::PathProblem(existing), refusal);
    EXPECT_FALSE(HealthReport::Write(existing, inputs, reason));
    EXPECT_EQ(reason, refusal);
    EXPECT_EQ(read(existing), "kept");

    const std::string nowhere = dir.File("missing/report.json");
    EXPECT_EQ(HealthReport::PathProblem(nowhere),
              "ERROR: The folder of the report file does not exist: " + nowhere);
    EXPECT_FALSE(HealthReport::Write(nowhere, inputs, reason));
    EXPECT_EQ(reason, "ERROR: The report file could not be written (No such file or directory): " +
                          nowhere);
}

}  // namespace
}  // namespace vornak
