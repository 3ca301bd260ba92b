// Where scenes begin: each trigger, the jumps that cut and the ticks that must not, frames
// without a date, and what a frame does not say.
#include "DvSceneRule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornak::dv {
namespace {

// A frame in one letter-free line: seconds from the first frame's date (or no date), and
// whatever else differs from a plain 625/50 4:3 48 kHz 16-bit frame.
struct F {
    std::optional<int> second = 0;
    bool start = false;
    DvSystem system = DvSystem::k625_50;
    DvAspect aspect = DvAspect::k4x3;
    int rate = 48000;
    int bits = 16;
};

DvFrameInfo Info(const F& f) {
    DvFrameInfo info;
    info.system = f.system;
    info.aspect = f.aspect;
    info.audioRate = f.rate;
    info.audioBits = f.bits;
    info.recordingStart = f.start;
    if (f.second) {
        // From 2006-12-31 23:59:50, so that jumps cross a day, a month and a year.
        const std::int64_t s = 50 + *f.second;
        const DvDate date = s < 60 ? DvDate{2006, 12, 31} : DvDate{2007, 1, 1};
        const std::int64_t inDay = s < 60 ? 23 * 3600 + 59 * 60 + s : s - 60;
        info.recorded = DvRecorded{
            date, DvTime{static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                         static_cast<int>(inDay % 60), -1}};
    }
    return info;
}

TEST(DvSceneRule, CutsWhereARecordingBeginsAndNowhereElse) {
    constexpr auto N = DvCut::kNone;
    constexpr auto S = DvCut::kRecordingStart;
    constexpr auto D = DvCut::kDateJump;
    constexpr auto X = DvCut::kFormatChange;
    const std::optional<int> undated;
    F wide;
    wide.aspect = DvAspect::k16x9;
    F ntsc;
    ntsc.system = DvSystem::k525_60;
    F rate32;
    rate32.rate = 32000;
    F bits12;
    bits12.bits = 12;
    F unknownFormat;
    unknownFormat.aspect = DvAspect::kUnknown;
    unknownFormat.rate = 0;
    unknownFormat.bits = 0;
    auto at = [](F f, std::optional<int> second) {
        f.second = second;
        return f;
    };
    auto flagged = [](std::optional<int> second) {
        F f;
        f.second = second;
        f.start = true;
        return f;
    };
    struct Case {
        const char* name;
        std::vector<F> frames;
        std::vector<DvCut> expected;  // from the second frame on
    };
    const std::vector<Case> cases = {
        {"one-second ticks across a new year",
         {{0}, {0}, {1}, {2}, {3}, {9}, {10}, {11}, {12}},
         {N, N, N, N, D, N, N, N}},
        {"two seconds is no jump, three is", {{0}, {2}, {5}}, {N, D}},
        {"backward jumps", {{10}, {8}, {5}}, {N, D}},
        {"an hour back", {{3600}, {0}}, {D}},
        {"a flagged frame", {{0}, {1}, flagged(1), {1}}, {N, S, N}},
        {"a run of flagged frames is one start",
         {{0}, flagged(1), flagged(1), flagged(1), {2}},
         {S, N, N, N}},
        {"flags apart are two starts", {{0}, flagged(0), {0}, flagged(0)}, {S, N, S}},
        {"undated frames stay and do not move the reference",
         {{0}, {undated}, {undated}, {2}, {undated}, {6}},
         {N, N, N, N, D}},
        {"after a cut the new scene measures from its own date",
         {{0}, {100}, {101}, {102}},
         {D, N, N}},
        {"a scene without dates takes its first date as given",
         {{0}, flagged(undated), {undated}, {50}, {51}},
         {S, N, N, N}},
        {"525/60 after 625/50", {{0}, at(ntsc, 0), at(ntsc, 1)}, {X, N}},
        {"16:9 after 4:3 and back", {{0}, at(wide, 0), {1}}, {X, X}},
        {"audio rate", {{0}, at(rate32, 0)}, {X}},
        {"sample size", {{0}, at(bits12, 0)}, {X}},
        {"a frame that says nothing of its format changes nothing",
         {{0}, at(unknownFormat, 0), {1}, at(unknownFormat, 1), at(wide, 2)},
         {N, N, N, X}},
    };
    for (const auto& c : cases) {
        DvSceneRule rule;
        ASSERT_EQ(rule.Next(Info(c.frames.front())), DvCut::kFirstFrame) << c.name;
        std::vector<DvCut> cuts;
        for (std::size_t i = 1; i < c.frames.size(); ++i) {
            cuts.push_back(rule.Next(Info(c.frames[i])));
        }
        EXPECT_EQ(cuts, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace vornak::dv
