#include "HealthImage.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace vornak {
namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

Surface ReadPng(const std::string& path) {
    Surface png(cairo_image_surface_create_from_png(path.c_str()));
    EXPECT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS) << path;
    return png;
}

HealthImage::Colour PixelAt(cairo_surface_t* png, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(png) + y * cairo_image_surface_get_stride(png);
    std::uint32_t word = 0;
    std::memcpy(&word, row + x * 4, sizeof word);
    return {static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word)};
}

HealthReportInput Tape(const std::string& path, int scenes, std::uint64_t pictures) {
    HealthReportInput input{path, {}};
    for (int i = 0; i < scenes; ++i) {
        SceneSummary scene;
        scene.number = i;
        scene.pictures = pictures;
        scene.healthChecked = true;
        input.scenes.push_back(scene);
    }
    return input;
}

HealthFinding Finding(HealthKind kind, std::uint64_t count, std::uint64_t first,
                      std::uint64_t last) {
    HealthFinding finding{kind, count, {}, {}};
    finding.first.picture = first;
    finding.last.picture = last;
    finding.first.timecode = dv::DvTimecode{0, 1, 2, static_cast<int>(first % 25), false};
    return finding;
}

TEST(HealthImage, IsFullWidthWithOneStripPerInputHoweverManyScenes) {
    test::TempDir dir;
    std::vector<int> heights;
    for (const int scenes : {1, 200}) {
        const std::vector<HealthReportInput> inputs = {Tape("tape.m2t", scenes, 250)};
        const std::string path = dir.File(std::to_string(scenes) + ".png");
        std::string reason;
        ASSERT_TRUE(HealthImage::Write(path, inputs, reason)) << reason;
        const Surface png = ReadPng(path);
        EXPECT_EQ(cairo_image_surface_get_width(png.get()), HealthImage::kWidth) << scenes;
        EXPECT_EQ(cairo_image_surface_get_height(png.get()), HealthImage::Height(inputs));
        heights.push_back(cairo_image_surface_get_height(png.get()));
    }
    EXPECT_EQ(heights[0], heights[1]);
    const std::vector<HealthReportInput> two = {Tape("a.m2t", 1, 250), Tape("b.m2t", 1, 250)};
    EXPECT_GT(HealthImage::Height(two), heights[0]);
    EXPECT_GT(HealthImage::StripTop(two, 1),
              HealthImage::StripTop(two, 0) + HealthImage::kStripHeight);
}

// Each scene takes its share of the strip by its pictures: a short scene is narrow.
TEST(HealthImage, ScenesShareTheStripByTheirPictures) {
    HealthReportInput input = Tape("tape.m2t", 3, 100);
    input.scenes[1].pictures = 200;  // 400 pictures in all
    EXPECT_DOUBLE_EQ(HealthImage::PictureX(input, 0, 0), HealthImage::kStripLeft);
    EXPECT_DOUBLE_EQ(HealthImage::PictureX(input, 1, 0),
                     HealthImage::kStripLeft + HealthImage::kStripWidth / 4.0);
    EXPECT_DOUBLE_EQ(HealthImage::PictureX(input, 2, 50),
                     HealthImage::kStripLeft + HealthImage::kStripWidth * 350 / 400.0);
    EXPECT_DOUBLE_EQ(HealthImage::PictureX(input, 2, 999),
                     HealthImage::kStripLeft + HealthImage::kStripWidth);
}

TEST(HealthImage, MarksEachFindingInItsKindsColourAndNothingOnACleanStrip) {
    HealthReportInput damaged = Tape("damaged.m2t", 200, 250);
    struct Case {
        std::size_t scene;
        HealthFinding finding;
    };
    const std::vector<Case> cases = {
        {3, Finding(HealthKind::PacketsLost, 12, 10, 10)},  // one picture: still a bar
        {60, Finding(HealthKind::BrokenPicture, 1, 249, 249)},
        {120, Finding(HealthKind::NoDatePack, 4, 0, 100)},
        {199, Finding(HealthKind::VideoError, 310, 249, 249)},  // at the strip's very end
        {3, Finding(HealthKind::BrokenPicture, 1, 10, 10)},     // in the lost packets' picture
    };
    for (const Case& c : cases) {
        damaged.scenes[c.scene].findings.push_back(c.finding);
    }
    const std::vector<HealthReportInput> inputs = {damaged, Tape("clean.m2t", 5, 250)};
    test::TempDir dir;
    std::string reason;
    ASSERT_TRUE(HealthImage::Write(dir.File("h.png"), inputs, reason)) << reason;
    const Surface png = ReadPng(dir.File("h.png"));

    for (const Case& c : cases) {
        int top = 0;
        int bottom = 0;
        HealthImage::LaneSpan(damaged, c.finding.kind, top, bottom);
        EXPECT_GE(bottom - top, 4) << "scene " << c.scene;
        const int middle = HealthImage::StripTop(inputs, 0) + (top + bottom) / 2;
        int left = 0;
        int right = 0;
        HealthImage::MarkSpan(damaged, c.scene, c.finding, left, right);
        EXPECT_GE(right - left, HealthImage::kMinMarkWidth);
        EXPECT_LE(left, HealthImage::PictureX(damaged, c.scene, c.finding.first.picture) + 2);
        EXPECT_GE(right, HealthImage::PictureX(damaged, c.scene, c.finding.last.picture) - 2);
        for (const int x : {left, (left + right) / 2, right - 1}) {
            EXPECT_EQ(PixelAt(png.get(), x, middle), HealthImage::KindColour(c.finding.kind))
                << "scene " << c.scene << " x " << x;
        }
        EXPECT_NE(PixelAt(png.get(), left - 2, middle), HealthImage::KindColour(c.finding.kind))
            << "scene " << c.scene;
    }

    const int cleanMiddle = HealthImage::StripTop(inputs, 1) + HealthImage::kStripHeight / 2;
    for (int x = HealthImage::kStripLeft; x < HealthImage::kStripLeft + HealthImage::kStripWidth;
         ++x) {
        const HealthImage::Colour pixel = PixelAt(png.get(), x, cleanMiddle);
        for (int kind = 0; kind <= static_cast<int>(HealthKind::IncompleteFrame); ++kind) {
            ASSERT_NE(pixel, HealthImage::KindColour(static_cast<HealthKind>(kind))) << x;
        }
    }
}

TEST(HealthImage, TitlesSayCleanNotCheckedOrHowManyFindings) {
    HealthReportInput clean = Tape("/tapes/clean.m2t", 1, 25);
    HealthReportInput unchecked = Tape("unchecked.m2t", 2, 25);
    for (SceneSummary& scene : unchecked.scenes) {
        scene.healthChecked = false;
    }
    HealthReportInput damaged = Tape("damaged.dv", 3, 25);
    damaged.scenes.front().fragment = true;
    damaged.scenes[1].findings = {Finding(HealthKind::AudioError, 9, 1, 1),
                                  Finding(HealthKind::VideoError, 2, 3, 4)};
    damaged.scenes[2].findings = {Finding(HealthKind::FramesMissing, 10, 0, 0)};
    EXPECT_EQ(HealthImage::Title(clean), "clean.m2t   1 scene   clean");
    EXPECT_EQ(HealthImage::Title(unchecked), "unchecked.m2t   2 scenes   not checked");
    EXPECT_EQ(HealthImage::Title(damaged), "damaged.dv   2 scenes   3 findings");
}

TEST(HealthImage, RefusesAnExistingFileAndNamesIt) {
    test::TempDir dir;
    const std::string path = dir.File("report.png");
    test::WriteText(path, "keep me");
    const std::vector<HealthReportInput> inputs = {Tape("tape.m2t", 1, 25)};
    std::string reason;
    EXPECT_FALSE(HealthImage::Write(path, inputs, reason));
    EXPECT_EQ(reason, path + ": already exists, not overwritten");
    EXPECT_EQ(test::ReadText(path), "keep me");

    reason.clear();
    EXPECT_FALSE(HealthImage::Write(dir.File("no/such/folder.png"), inputs, reason));
    EXPECT_EQ(reason, dir.File("no/such/folder.png") + ": No such file or directory");
}

}  // namespace
}  // namespace vornak
