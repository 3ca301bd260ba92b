// The scene view's health cell: clean, how many problems with the report's lines, or nothing
// for a scene that was not checked.
#include "SceneHealthCell.h"

#include <gtest/gtest.h>

#include <QTreeWidgetItem>

#include <string>
#include <vector>

namespace vornak {
namespace {

HealthFinding Finding(HealthKind kind, std::uint64_t count, std::uint64_t picture) {
    HealthFinding finding{kind, count, {}, {}};
    finding.first.picture = picture;
    finding.last.picture = picture;
    finding.first.timecode = dv::DvTimecode{0, 3, 14, 5, false};
    finding.last.timecode = finding.first.timecode;
    return finding;
}

TEST(SceneHealthCell, SaysCleanHowManyProblemsOrNothingWhenNotChecked) {
    const struct Case {
        const char* name;
        bool checked;
        std::vector<HealthFinding> findings;
        const char* text;
        const char* toolTip;
        QColor colour;
    } cases[] = {
        {"not checked", false, {}, "", "", QColor()},
        {"clean", true, {}, "Clean", "No damage found in this scene.", QColor(46, 125, 50)},
        {"one",
         true,
         {Finding(HealthKind::PacketsLost, 12, 80)},
         "1 problem",
         "12 packets lost at 00:03:14:05",
         QColor(198, 40, 40)},
        {"three",
         true,
         {Finding(HealthKind::PacketsLost, 12, 80), Finding(HealthKind::BrokenPicture, 1, 80),
          Finding(HealthKind::NoDatePack, 2, 90)},
         "3 problems",
         "12 packets lost at 00:03:14:05\n1 broken picture at 00:03:14:05\n"
         "2 picture groups without a date at 00:03:14:05",
         QColor(198, 40, 40)},
    };
    for (const Case& c : cases) {
        SceneSummary scene;
        scene.healthChecked = c.checked;
        scene.findings = c.findings;
        QTreeWidgetItem item;
        item.setText(4, QStringLiteral("stale"));  // a row filled again forgets what it said
        item.setToolTip(4, QStringLiteral("stale"));
        SceneHealthCell::Fill(&item, 4, scene);
        EXPECT_EQ(item.text(4).toStdString(), c.text) << c.name;
        EXPECT_EQ(item.toolTip(4).toStdString(), c.toolTip) << c.name;
        EXPECT_EQ(SceneHealthCell::Colour(scene), c.colour) << c.name;
    }
}

// A scene damaged all along keeps a tooltip that fits on the screen.
TEST(SceneHealthCell, ToolTipSumsUpTheFindingsPastItsLines) {
    SceneSummary scene;
    scene.healthChecked = true;
    for (std::uint64_t i = 0; i < SceneHealthCell::kToolTipLines + 5; ++i) {
        scene.findings.push_back(Finding(HealthKind::VideoError, 3, i * 10));
        scene.findings.back().first.timecode.reset();
    }
    const QStringList lines = SceneHealthCell::ToolTip(scene).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), SceneHealthCell::kToolTipLines + 1);
    EXPECT_EQ(lines.front().toStdString(), "3 video blocks in error at picture 0");
    EXPECT_EQ(lines[SceneHealthCell::kToolTipLines - 1].toStdString(),
              "3 video blocks in error at picture 190");
    EXPECT_EQ(lines.back().toStdString(), "and 5 more");
    EXPECT_EQ(SceneHealthCell::Text(scene).toStdString(), "25 problems");
}

}  // namespace
}  // namespace vornak
