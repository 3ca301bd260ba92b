// The DV health check on runs of frames as the parser reads them: timecode gaps counted in
// frames (drop-frame included), jumps, and the recording clock going back or jumping.
#include "DvHealthCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vornak {
namespace {

using dv::DvSystem;

// "hh:mm:ss:ff" (";ff" drop-frame) or "--" for none, then optionally " @ss" for a recording
// time of 10:00:ss; a leading "cut " makes it a frame cut short.
struct FrameText {
    bool cutShort = false;
    dv::DvFrameInfo info;
};

FrameText Read(std::string text, DvSystem system) {
    FrameText frame;
    frame.info.system = system;
    if (text.starts_with("cut ")) {
        frame.cutShort = true;
        text = text.substr(4);
    }
    if (const auto at = text.find(" @"); at != std::string::npos) {
        const dv::DvDate date{2007, 6, 15};
        frame.info.recorded = dv::DvRecorded{date, {10, 0, std::stoi(text.substr(at + 2)), -1}};
        text = text.substr(0, at);
    }
    dv::DvTimecode tc;
    char mark = ':';
    if (std::sscanf(text.c_str(), "%d:%d:%d%c%d", &tc.hours, &tc.minutes, &tc.seconds, &mark,
                    &tc.frames) == 5) {
        tc.dropFrame = mark == ';';
        frame.info.timecode = tc;
    }
    return frame;
}

struct Found {
    HealthKind kind;
    std::uint64_t count;
    std::uint64_t first;  // frame within the scene
    std::uint64_t last;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* out) {
    *out << HealthKindName(f.kind) << " x" << f.count << " at " << f.first << "-" << f.last;
}

struct RunCase {
    const char* name;
    DvSystem system;
    std::vector<std::string> frames;
    std::vector<Found> found;
};

std::vector<Found> Check(const RunCase& c) {
    DvHealthCheck check;
    SceneSummary scene;
    check.StartScene();
    for (const std::string& text : c.frames) {
        const FrameText frame = Read(text, c.system);
        if (frame.cutShort) {
            check.CutShort(&frame.info, -1, scene);
        } else {
            check.Frame(frame.info, -1, scene);
            ++scene.pictures;  // as the job counts it, after the check
        }
    }
    std::vector<Found> found;
    for (const HealthFinding& f : scene.findings) {
        found.push_back({f.kind, f.count, f.first.picture, f.last.picture});
    }
    return found;
}

constexpr auto kMissing = HealthKind::FramesMissing;
constexpr auto kTcJump = HealthKind::TimecodeJump;
constexpr auto kDateJump = HealthKind::DateJump;
constexpr auto kCutShort = HealthKind::IncompleteFrame;
constexpr DvSystem k625 = DvSystem::k625_50;
constexpr DvSystem k525 = DvSystem::k525_60;

TEST(DvHealthCheck, CountsTimecodeGapsAndJumps) {
    const std::vector<RunCase> cases = {
        {"625: seconds roll over", k625, {"00:00:00:23", "00:00:00:24", "00:00:01:00"}, {}},
        {"625: midnight", k625, {"23:59:59:23", "23:59:59:24", "00:00:00:00"}, {}},
        {"625: ten frames missing", k625, {"00:00:00:05", "00:00:00:16"}, {{kMissing, 10, 1, 1}}},
        {"625: three seconds missing at most",
         k625,
         {"00:00:00:00", "00:00:03:01"},
         {{kMissing, 75, 1, 1}}},
        {"625: a frame further is a jump",
         k625,
         {"00:00:00:00", "00:00:03:02"},
         {{kTcJump, 1, 1, 1}}},
        {"625: the same timecode again goes back",
         k625,
         {"00:00:00:00", "00:00:00:01", "00:00:00:01", "00:00:00:02"},
         {{kTcJump, 1, 2, 2}}},
        {"625: back an hour", k625, {"01:00:00:00", "00:00:00:01"}, {{kTcJump, 1, 1, 1}}},
        {"frames without a timecode hold their places",
         k625,
         {"00:00:00:00", "--", "--", "00:00:00:03", "--", "00:00:00:07"},
         {{kMissing, 2, 5, 5}}},
        {"gaps in neighbouring frames are one stretch",
         k625,
         {"00:00:00:00", "00:00:00:02", "00:00:00:05", "00:00:00:06"},
         {{kMissing, 3, 1, 2}}},
        {"525 drop-frame: a minute skips ;00 and ;01",
         k525,
         {"00:00:59;28", "00:00:59;29", "00:01:00;02", "00:01:00;03"},
         {}},
        {"525 drop-frame: every tenth minute keeps them",
         k525,
         {"00:09:59;29", "00:10:00;00", "00:10:00;01"},
         {}},
        {"525 drop-frame: two missing after a minute's start",
         k525,
         {"00:00:59;29", "00:01:00;04"},
         {{kMissing, 2, 1, 1}}},
        {"525 drop-frame: two missing at a tenth minute",
         k525,
         {"00:09:59;29", "00:10:00;02"},
         {{kMissing, 2, 1, 1}}},
        {"525 drop-frame: the rest of a minute's first second",
         k525,
         {"00:00:59;29", "00:01:01;00"},
         {{kMissing, 28, 1, 1}}},
        {"525 drop-frame: midnight", k525, {"23:59:59;28", "23:59:59;29", "00:00:00;00"}, {}},
        {"525 non-drop: no label is skipped",
         k525,
         {"00:00:59:29", "00:01:00:02"},
         {{kMissing, 2, 1, 1}}},
        {"525: drop-frame counting switched",
         k525,
         {"00:00:10:00", "00:00:10;01"},
         {{kTcJump, 1, 1, 1}}},
        {"a frame cut short may be the next recording's: its timecode and date are no finding",
         k625,
         {"00:00:00:00 @0", "cut 05:00:00:00 @9", "00:00:00:02 @0"},
         {{kCutShort, 1, 1, 1}}},
        {"a frame cut short takes its place",
         k625,
         {"00:00:00:00", "cut 00:00:00:01", "00:00:00:02", "cut --", "00:00:00:04"},
         {{kCutShort, 2, 1, 2}}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c), c.found);
    }
}

TEST(DvHealthCheck, FindsTheRecordingClockGoingBackOrJumping) {
    const std::vector<RunCase> cases = {
        {"a tick between frames", k625, {"00:00:00:24 @0", "00:00:01:00 @1", "00:00:01:01 @1"}, {}},
        {"back a second",
         k625,
         {"00:00:00:00 @1", "00:00:00:01 @0", "00:00:00:02 @0"},
         {{kDateJump, 1, 1, 1}}},
        {"two ticks between neighbours",
         k625,
         {"00:00:00:00 @0", "00:00:00:01 @2", "00:00:00:02 @2"},
         {{kDateJump, 1, 1, 1}}},
        {"frames without a date between",
         k625,
         {"00:00:00:00 @0", "--", "00:00:00:02", "00:00:00:03 @1"},
         {}},
        {"missing frames are time that passed",
         k625,
         {"00:00:00:00 @0", "00:00:01:10 @2"},
         {{kMissing, 34, 1, 1}}},
        {"without a timecode, two ticks at once are a jump",
         k625,
         {"-- @0", "-- @2"},
         {{kDateJump, 1, 1, 1}}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c), c.found);
    }
}

// What the gaps above are counted with.
TEST(DvHealthCheck, NumbersFramesAsTheTimecodeCountsThem) {
    EXPECT_EQ(DvHealthCheck::FramesPerDay(false, k625), 24 * 3600 * 25);
    EXPECT_EQ(DvHealthCheck::FramesPerDay(false, k525), 24 * 3600 * 30);
    // 108 frames dropped an hour.
    EXPECT_EQ(DvHealthCheck::FramesPerDay(true, k525), 24 * (3600 * 30 - 108));
    // The drop-frame bit means nothing to a 625/50 count.
    EXPECT_EQ(DvHealthCheck::FramesPerDay(true, k625), 24 * 3600 * 25);
    EXPECT_EQ(DvHealthCheck::FrameNumber({0, 10, 0, 0, true}, k525), 17982);
}

}  // namespace
}  // namespace vornak
