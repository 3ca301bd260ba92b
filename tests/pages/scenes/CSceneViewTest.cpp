// The scene view: a tape's scenes arrive from the worker threads as rows with their thumbnails,
// a tape that cannot be decoded says so, and another tape cancels a listing under way.
#include "CSceneView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "DvColourTape.h"
#include "DvTestFrames.h"
#include "SceneHealthCell.h"
#include "SplitCommand.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

constexpr int kBoundMs = 60'000;

bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kBoundMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

std::string GeneratedTape(const test::TempDir& dir, const std::string& name, int scenes, int gops) {
    tape::TapeOptions options;
    options.pictureBytes = 20'000;
    tape::TapeWriter writer(options);
    for (int i = 0; i < scenes; ++i) {
        tape::SceneSpec scene;
        scene.start = tape::DateTime{2006, 5, 1, 10 + i, 0, 0};
        scene.gops = gops;
        writer.AddScene(scene);
    }
    EXPECT_TRUE(writer.WriteFile(dir.File(name)));
    return dir.File(name);
}

test::Colour IconColour(const QTreeWidgetItem* item) {
    const QImage image = item->icon(CSceneView::kColumnScene)
                             .pixmap(CSceneView::kThumbnailWidth, CSceneView::kThumbnailHeight)
                             .toImage();
    const QColor colour = image.pixelColor(image.width() / 2, image.height() / 2);
    return {colour.red(), colour.green(), colour.blue()};
}

TEST(CSceneView, FillsFromTheWorkersWithEachScenesThumbnail) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::vector<test::Colour> colours = {{220, 30, 30}, {30, 200, 40}, {40, 40, 220}};
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{colours[0]}, {colours[1]}, {colours[2]}}), "");

    CSceneView view;
    std::vector<int> progress;
    QObject::connect(&view, &CSceneView::ListingProgress,
                     [&progress](int position) { progress.push_back(position); });
    view.ShowTape(tape);
    EXPECT_TRUE(view.IsListing());
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    EXPECT_TRUE(view.IsComplete(tape));
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), CSceneView::kProgressMax);

    ASSERT_EQ(view.topLevelItemCount(), 3);
    EXPECT_EQ(view.PicturesIn(tape), 3u);
    for (int row = 0; row < 3; ++row) {
        const QTreeWidgetItem* item = view.topLevelItem(row);
        EXPECT_EQ(item->text(CSceneView::kColumnScene), QString::number(row));
        EXPECT_EQ(item->text(CSceneView::kColumnDate).toStdString(),
                  "2007-06-15 1" + std::to_string(row) + ":00:00");
        EXPECT_EQ(item->text(CSceneView::kColumnDuration), QStringLiteral("0:01"));
        EXPECT_EQ(item->text(CSceneView::kColumnBroken), QStringLiteral("0"));
        EXPECT_EQ(item->checkState(CSceneView::kColumnScene), Qt::Checked);
        EXPECT_TRUE(test::Near(IconColour(item), colours[static_cast<std::size_t>(row)]))
            << row << ": " << test::Text(IconColour(item));
    }

    // Unchecked scenes are kept with the tape, also while another tape is shown.
    view.topLevelItem(1)->setCheckState(CSceneView::kColumnScene, Qt::Unchecked);
    view.ShowTape("");
    EXPECT_EQ(view.topLevelItemCount(), 0);
    view.ShowTape(tape);
    EXPECT_FALSE(view.IsListing());  // kept whole: nothing to read again
    ASSERT_EQ(view.topLevelItemCount(), 3);
    EXPECT_EQ(view.topLevelItem(1)->checkState(CSceneView::kColumnScene), Qt::Unchecked);
    EXPECT_EQ(view.UncheckedScenes(), (std::map<std::string, std::set<std::int32_t>>{{tape, {1}}}));
}

// Told by its content, whatever it is called: a raw DV tape's scenes with their pictures at their
// display aspect, and durations at the system's own frame rate.
TEST(CSceneView, ListsADvTapesScenesWithThumbnailsAtTheirAspect) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    const struct {
        test::DvColourScene scene;
        bool pillarbox;  // 4:3 in the middle of the 16:9 room, clear at its sides
        const char* duration;
    } rows[] = {
        {{{220, 30, 30}, "4:3", 50, true}, true, "0:02"},
        {{{30, 200, 40}, "16:9", 25, true}, false, "0:01"},
        {{{40, 40, 220}, "4:3", 90, false}, true, "0:03"},
    };
    test::TempDir dir;
    const std::string tape = dir.File("tape.bin");
    std::vector<test::DvColourScene> scenes;
    for (const auto& row : rows) {
        scenes.push_back(row.scene);
    }
    ASSERT_EQ(test::WriteDvColourTape(tape, scenes), "");

    CSceneView view;
    view.ShowTape(tape);
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    EXPECT_TRUE(view.IsComplete(tape));
    ASSERT_EQ(view.topLevelItemCount(), 3);
    EXPECT_EQ(view.PicturesIn(tape), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& row = rows[i];
        const QTreeWidgetItem* item = view.topLevelItem(i);
        EXPECT_EQ(item->text(CSceneView::kColumnDate).toStdString(),
                  "2007-06-15 1" + std::to_string(i) + ":00:00");
        EXPECT_EQ(item->text(CSceneView::kColumnDuration).toStdString(), row.duration);
        EXPECT_EQ(item->text(CSceneView::kColumnBroken), QStringLiteral("0"));
        const QImage icon = item->icon(CSceneView::kColumnScene)
                                .pixmap(CSceneView::kThumbnailWidth, CSceneView::kThumbnailHeight)
                                .toImage();
        ASSERT_EQ(icon.size(), QSize(CSceneView::kThumbnailWidth, CSceneView::kThumbnailHeight));
        // 4:3 is 120 wide in the 160 of the room: 20 clear on either side.
        for (const int x : {5, CSceneView::kThumbnailWidth - 6}) {
            EXPECT_EQ(icon.pixelColor(x, icon.height() / 2).alpha() == 0, row.pillarbox) << x;
        }
        EXPECT_TRUE(test::Near(IconColour(item), row.scene.colour)) << test::Text(IconColour(item));
    }
}

TEST(CSceneView, ScenesThatCannotBeDecodedSaySoAndAnotherTapeCancels) {
    test::TempDir dir;
    const std::string small = GeneratedTape(dir, "small.m2t", 2, 2);
    // Long enough that it is still being read when the next tape is chosen.
    const std::string large = GeneratedTape(dir, "large.m2t", 3, 60);

    CSceneView view;
    view.ShowTape(large);
    ASSERT_TRUE(view.IsListing());
    view.ShowTape(small);  // cancels the large tape's listing and waits for it
    EXPECT_FALSE(view.IsComplete(large));
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    ASSERT_EQ(view.topLevelItemCount(), 2);
    EXPECT_TRUE(view.IsComplete(small));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(view.topLevelItem(row)->toolTip(CSceneView::kColumnScene),
                  QStringLiteral("The pictures of this scene cannot be decoded."));
    }
    // Each row's health is what its listing's check found.
    EXPECT_EQ(view.headerItem()->text(CSceneView::kColumnHealth), QStringLiteral("Health"));
    const std::vector<SceneSummary> scenes = view.ScenesOf(small);
    ASSERT_EQ(scenes.size(), 2u);
    for (int row = 0; row < 2; ++row) {
        const SceneSummary& scene = scenes[static_cast<std::size_t>(row)];
        EXPECT_EQ(view.topLevelItem(row)->text(CSceneView::kColumnHealth),
                  SceneHealthCell::Text(scene));
        EXPECT_EQ(view.topLevelItem(row)->toolTip(CSceneView::kColumnHealth),
                  SceneHealthCell::ToolTip(scene));
    }
    // A file that cannot be read says so.
    view.ShowTape(dir.File("missing.m2t"));
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    ASSERT_EQ(view.topLevelItemCount(), 1);
    EXPECT_EQ(view.topLevelItem(0)->text(CSceneView::kColumnScene),
              QStringLiteral("This file can't be opened or read."));
    EXPECT_TRUE(view.UncheckedScenes().empty());
    // The cancelled tape is listed afresh when it is shown again.
    view.ShowTape(large);
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    EXPECT_TRUE(view.IsComplete(large));
    EXPECT_EQ(view.topLevelItemCount(), 3);
}

// What a file holds decides what the view says of it; a file without a transport stream is told
// in the very words vornak-split uses.
TEST(CSceneView, SaysWhyAFileHasNoScenesAsTheCommandLineDoes) {
    test::TempDir dir;
    const std::string text = dir.File("notes.m2t");
    const std::string words(64 * 1024, 'x');
    test::WriteAll(text, std::vector<std::uint8_t>(words.begin(), words.end()));
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunSplitCommand({"--output-dir", dir.Path(), text}, out, err, false), kExitFailed);
    const std::string cliLine = out.str() + err.str();

    struct Case {
        std::string path;
        std::string shown;
    };
    const Case cases[] = {
        {text, "This is neither an MPEG-2 transport stream nor DV: " + text},
        {dir.File("missing.m2t"), "This file can't be opened or read."},
        {dir.Path(), "This file can't be opened or read."},  // a folder
    };
    CSceneView view;
    for (const Case& c : cases) {
        view.ShowTape(c.path);
        ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); })) << c.path;
        ASSERT_EQ(view.topLevelItemCount(), 1) << c.path;
        EXPECT_EQ(view.topLevelItem(0)->text(CSceneView::kColumnScene).toStdString(), c.shown);
    }
    EXPECT_NE(cliLine.find("ERROR: " + cases[0].shown + "\n"), std::string::npos) << cliLine;
}

// The listing shows its progress in the view itself, and the rows are picked whole.
TEST(CSceneView, ShowsTheListingsProgressInItsOwnBar) {
    test::TempDir dir;
    const std::string large = GeneratedTape(dir, "large.m2t", 3, 60);
    CSceneView view;
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    view.resize(400, 300);
    view.show();
    view.ShowTape(large);
    ASSERT_NE(view.ListingBar(), nullptr);
    EXPECT_TRUE(view.ListingBar()->isVisible());
    EXPECT_TRUE(view.viewport()->rect().contains(view.ListingBar()->geometry()));
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    EXPECT_EQ(view.ListingBar()->value(), CSceneView::kProgressMax);
    EXPECT_FALSE(view.ListingBar()->isVisible());
}

// A checked listing fills the health column: a damaged scene says how many problems and gives
// the report's lines, a clean one says so.
TEST(CSceneView, HealthColumnSaysWhatTheListingsCheckFound) {
    std::vector<std::uint8_t> bytes;
    const auto add = [&bytes](int n, int hour, int errorBlocks) {
        dv::test::FrameSetup setup;
        setup.tc = {hour - 10, 0, n / 25, n % 25};
        setup.stamp.hour = hour;
        setup.stamp.second = n / 25;
        std::vector<std::uint8_t> frame = dv::test::MakeFrame(setup);
        const std::vector<std::size_t> at = dv::test::VideoBlockOffsets(dv::DvSystem::k625_50);
        for (int b = 0; b < errorBlocks; ++b) {
            frame[at[static_cast<std::size_t>(b) * 7] + dv::kVideoStaByte] = 0xF0;
        }
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    };
    for (int n = 0; n < 50; ++n) {  // a damaged recording at 10:00, a clean one at 11:00
        add(n, 10, n >= 10 && n <= 12 ? 5 : 0);
    }
    for (int n = 0; n < 25; ++n) {
        add(n, 11, 0);
    }
    test::TempDir dir;
    const std::string tape = dir.File("tape.dv");
    test::WriteAll(tape, bytes);

    CSceneView view;
    view.ShowTape(tape);
    ASSERT_TRUE(WaitFor([&] { return !view.IsListing(); }));
    ASSERT_EQ(view.topLevelItemCount(), 2);
    EXPECT_EQ(view.topLevelItem(0)->text(CSceneView::kColumnHealth).toStdString(), "1 problem");
    EXPECT_EQ(view.topLevelItem(0)->toolTip(CSceneView::kColumnHealth).toStdString(),
              "15 video blocks in error from 00:00:00:10 to 00:00:00:12");
    EXPECT_EQ(view.topLevelItem(1)->text(CSceneView::kColumnHealth).toStdString(), "Clean");
}

}  // namespace
}  // namespace vornak
