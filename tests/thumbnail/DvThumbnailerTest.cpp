#include "DvThumbnailer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "DvColourClip.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using dv::DvSystem;
using Bytes = std::vector<std::uint8_t>;

constexpr test::Colour kRed{220, 30, 30};
constexpr test::Colour kGreen{30, 200, 40};
constexpr test::Colour kBlue{40, 40, 220};
constexpr test::Colour kYellow{230, 220, 40};
constexpr test::Colour kGrey{128, 128, 128};

// Both ways in: a scene's bytes in memory, and in a file between the clean frames of other
// scenes, which must not be shown.
struct Made {
    DvThumbnailer::Status status;
    RgbImage image;
};
class BothWays {
  public:
    explicit BothWays(const test::TempDir& dir)
        : m_dir(dir), m_other(test::MakeDvClip(dir.File("other.dv"), {kGrey})) {}

    std::vector<Made> Make(DvThumbnailer& thumbnailer, const Bytes& scene) const {
        EXPECT_EQ(m_other.size(), dv::kFrameSize625);
        Bytes file = m_other;
        file.insert(file.end(), scene.begin(), scene.end());
        file.insert(file.end(), m_other.begin(), m_other.end());
        const std::string path = m_dir.File("scenes.dv");
        test::WriteAll(path, file);
        std::vector<Made> made(2);
        made[0].status = thumbnailer.Make(scene, made[0].image);
        made[1].status = thumbnailer.Make(path, m_other.size(), scene.size(), made[1].image);
        return made;
    }

  private:
    const test::TempDir& m_dir;
    const Bytes m_other;
};

// 4:3 fills the 320 x 240 box and 16:9 is as wide, for 625/50 and 525/60 alike; a frame that
// says nothing of its aspect ratio is taken for 4:3, as camcorders record unless told.
TEST(DvThumbnailer, ShowsTheFrameAtItsDisplayAspect) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no DV clip";
    }
    struct Case {
        const char* name;
        test::DvClip clip;
        bool dropAspect;
        int height;
    };
    const std::vector<Case> cases = {
        {"625/50 4:3", {kRed, DvSystem::k625_50, "4:3"}, false, 240},
        {"625/50 16:9", {kGreen, DvSystem::k625_50, "16:9"}, false, 180},
        {"525/60 4:3", {kBlue, DvSystem::k525_60, "4:3"}, false, 240},
        {"525/60 16:9", {kYellow, DvSystem::k525_60, "16:9"}, false, 180},
        {"625/50 16:9 without control pack", {kRed, DvSystem::k625_50, "16:9"}, true, 240},
    };
    test::TempDir dir;
    const BothWays ways(dir);
    DvThumbnailer thumbnailer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes clip = test::MakeDvClip(dir.File("clip.dv"), c.clip);
        ASSERT_EQ(clip.size(), dv::FrameSizeOf(c.clip.system));
        if (c.dropAspect) {
            test::DropVideoControlPacks(clip, c.clip.system);
        }
        for (const Made& made : ways.Make(thumbnailer, clip)) {
            ASSERT_EQ(made.status, DvThumbnailer::Status::Made);
            EXPECT_EQ(made.image.width, 320);
            EXPECT_EQ(made.image.height, c.height);
            EXPECT_EQ(made.image.pixels.size(),
                      static_cast<std::size_t>(made.image.width * made.image.height * 3));
            const test::Colour centre = test::CentreColour(made.image);
            EXPECT_TRUE(test::Near(centre, c.clip.colour))
                << test::Text(centre) << " for " << test::Text(c.clip.colour);
        }
    }
}

// Frames whose video blocks the deck marked in error are passed over for the first clean one,
// within the first kMaxFrames; when none of those is clean, the first that decodes is shown.
TEST(DvThumbnailer, PassesOverFramesMarkedInError) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no DV clip";
    }
    test::TempDir dir;
    const BothWays ways(dir);
    // Two red frames, blue up to the last frame tried, then green.
    constexpr int kLimit = DvThumbnailer::kMaxFrames;
    Bytes scene = test::MakeDvClip(dir.File("a.dv"), {kRed, DvSystem::k625_50, "4:3", 2});
    const Bytes blue =
        test::MakeDvClip(dir.File("b.dv"), {kBlue, DvSystem::k625_50, "4:3", kLimit - 2});
    const Bytes green = test::MakeDvClip(dir.File("c.dv"), {kGreen, DvSystem::k625_50, "4:3", 2});
    scene.insert(scene.end(), blue.begin(), blue.end());
    scene.insert(scene.end(), green.begin(), green.end());
    ASSERT_EQ(scene.size(), (kLimit + 2) * dv::kFrameSize625);

    const auto range = [](int from, int to) {
        std::set<int> frames;
        for (int i = from; i < to; ++i) {
            frames.insert(i);
        }
        return frames;
    };
    struct Case {
        const char* name;
        std::set<int> marked;
        test::Colour shown;
    };
    const std::vector<Case> cases = {
        {"none marked", {}, kRed},
        {"the red frames marked", {0, 1}, kBlue},
        {"the first marked, the second clean", {0}, kRed},
        {"every frame tried marked", range(0, kLimit), kRed},
        {"all but the last frame tried marked", range(0, kLimit - 1), kBlue},
        {"every frame marked", range(0, kLimit + 2), kRed},
    };
    DvThumbnailer thumbnailer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes marked = scene;
        for (int frame : c.marked) {
            test::MarkFrameInError(marked, DvSystem::k625_50, static_cast<std::size_t>(frame));
        }
        for (const Made& made : ways.Make(thumbnailer, marked)) {
            ASSERT_EQ(made.status, DvThumbnailer::Status::Made);
            const test::Colour centre = test::CentreColour(made.image);
            EXPECT_TRUE(test::Near(centre, c.shown))
                << test::Text(centre) << " for " << test::Text(c.shown);
        }
    }
}

TEST(DvThumbnailer, ScenesWithoutAWholeFrameGetNone) {
    test::TempDir dir;
    Bytes noise(3 * dv::kFrameSize625);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>((i * 131 + 7) % 251);
    }
    const std::string noisePath = dir.File("noise.dv");
    test::WriteAll(noisePath, noise);
    struct Case {
        std::string path;
        std::uint64_t offset;
        std::uint64_t length;
        DvThumbnailer::Status status;
    };
    const std::vector<Case> cases = {
        {noisePath, 0, noise.size(), DvThumbnailer::Status::NoPicture},
        {noisePath, noise.size() + 1000, 5000, DvThumbnailer::Status::NoPicture},
        {noisePath, 0, 0, DvThumbnailer::Status::NoPicture},
        {dir.File("missing.dv"), 0, 1000, DvThumbnailer::Status::CannotOpen},
        {dir.Path(), 0, 1000, DvThumbnailer::Status::CannotRead},
    };
    DvThumbnailer thumbnailer;
    for (const Case& c : cases) {
        RgbImage image;
        EXPECT_EQ(thumbnailer.Make(c.path, c.offset, c.length, image), c.status)
            << c.path << " at " << c.offset;
        EXPECT_TRUE(image.Empty());
    }
    RgbImage image;
    EXPECT_EQ(thumbnailer.Make(noise, image), DvThumbnailer::Status::NoPicture);
    EXPECT_TRUE(image.Empty());
    EXPECT_STREQ(SceneThumbnailer::Reason(DvThumbnailer::Status::NoDvDecoder),
                 "FFmpeg's DV video decoder is missing");
}

}  // namespace
}  // namespace vornak
