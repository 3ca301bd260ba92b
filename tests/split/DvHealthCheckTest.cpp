// The DV health check on runs of frames as the parser reads them: timecode gaps counted in
// frames (drop-frame included), jumps, the recording clock going back or jumping, frames cut
// short.
#include "DvHealthCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace vornak {
namespace {

using dv::DvSystem;

// Frames separated by spaces: "hh:mm:ss:ff" (";ff" drop-frame) or "-" for no timecode, then
// "@ss" for a recording time of 10:00:ss; a leading "~" makes it a frame cut short.
// Gives the findings as "kind count first-last", separated by spaces.
std::string Check(DvSystem system, const std::string& frames) {
    DvHealthCheck check;
    SceneSummary scene;
    check.StartScene();
    std::istringstream in(frames);
    for (std::string text; in >> text;) {
        dv::DvFrameInfo info;
        info.system = system;
        const bool cutShort = text.starts_with("~");
        if (const auto at = text.find('@'); at != std::string::npos) {
            info.recorded =
                dv::DvRecorded{{2007, 6, 15}, {10, 0, std::stoi(text.substr(at + 1)), -1}};
        }
        dv::DvTimecode tc;
        char mark = ':';
        if (std::sscanf(text.c_str() + (cutShort ? 1 : 0), "%d:%d:%d%c%d", &tc.hours, &tc.minutes,
                        &tc.seconds, &mark, &tc.frames) == 5) {
            tc.dropFrame = mark == ';';
            info.timecode = tc;
        }
        if (cutShort) {
            check.CutShort(&info, -1, scene);
        } else {
            check.Frame(info, -1, scene);
            ++scene.pictures;  // as the job counts it, after the check
        }
    }
    std::string found;
    for (const HealthFinding& f : scene.findings) {
        found += (found.empty() ? "" : " ") + std::string(HealthKindName(f.kind)) + " " +
                 std::to_string(f.count) + " " + std::to_string(f.first.picture) + "-" +
                 std::to_string(f.last.picture);
    }
    return found;
}

struct RunCase {
    DvSystem system;
    const char* frames;
    const char* found;
};

constexpr DvSystem k625 = DvSystem::k625_50;
constexpr DvSystem k525 = DvSystem::k525_60;

TEST(DvHealthCheck, FindsTimecodeAndClockFaults) {
    const RunCase cases[] = {
        {k625, "00:00:00:23 00:00:00:24 00:00:01:00", ""},
        {k625, "23:59:59:23 23:59:59:24 00:00:00:00", ""},  // midnight
        {k625, "00:00:00:05 00:00:00:16", "frames_missing 10 1-1"},
        // Three seconds of frames at most are missing; beyond, the timecode jumped.
        {k625, "00:00:00:00 00:00:03:01", "frames_missing 75 1-1"},
        {k625, "00:00:00:00 00:00:03:02", "tc_nc 1 1-1"},
        {k625, "00:00:00:00 00:00:00:01 00:00:00:01 00:00:00:02", "tc_nc 1 2-2"},
        {k625, "01:00:00:00 00:00:00:01", "tc_nc 1 1-1"},
        // Frames without a timecode hold their places; gaps in neighbours are one stretch.
        {k625, "00:00:00:00 - - 00:00:00:03 - 00:00:00:07", "frames_missing 2 5-5"},
        {k625, "00:00:00:00 00:00:00:02 00:00:00:05 00:00:00:06", "frames_missing 3 1-2"},
        // Drop-frame: each minute skips ;00 and ;01, but every tenth.
        {k525, "00:00:59;28 00:00:59;29 00:01:00;02 00:01:00;03", ""},
        {k525, "00:09:59;29 00:10:00;00 00:10:00;01", ""},
        {k525, "00:00:59;29 00:01:00;04", "frames_missing 2 1-1"},
        {k525, "00:09:59;29 00:10:00;02", "frames_missing 2 1-1"},
        {k525, "00:00:59;29 00:01:01;00", "frames_missing 28 1-1"},
        {k525, "23:59:59;28 23:59:59;29 00:00:00;00", ""},
        {k525, "00:00:59:29 00:01:00:02", "frames_missing 2 1-1"},  // non-drop skips nothing
        {k525, "00:00:10:00 00:00:10;01", "tc_nc 1 1-1"},
        // The clock.
        {k625, "00:00:00:24@0 00:00:01:00@1 00:00:01:01@1", ""},
        {k625, "00:00:00:00@1 00:00:00:01@0 00:00:00:02@0", "rdt_nc 1 1-1"},
        {k625, "00:00:00:00@0 00:00:00:01@2 00:00:00:02@2", "rdt_nc 1 1-1"},
        {k625, "00:00:00:00@0 - 00:00:00:02 00:00:00:03@1", ""},
        {k625, "00:00:00:00@0 00:00:01:10@2", "frames_missing 34 1-1"},  // time that passed
        {k625, "-@0 -@2", "rdt_nc 1 1-1"},
        // Two ticks need more than a second of frames, give or take two.
        {k625, "00:00:00:00@0 00:00:00:23@2", "frames_missing 22 1-1 rdt_nc 1 1-1"},
        {k625, "00:00:00:00@0 00:00:00:24@2", "frames_missing 23 1-1"},
        // Cut short: it takes its place, and may be the next recording's first.
        {k625, "00:00:00:00 ~00:00:00:01 00:00:00:02 ~- 00:00:00:04", "incomplete_frame 2 1-2"},
        {k625, "00:00:00:00@0 ~05:00:00:00@9 00:00:00:02@0", "incomplete_frame 1 1-1"},
    };
    for (const RunCase& c : cases) {
        EXPECT_EQ(Check(c.system, c.frames), c.found) << c.frames;
    }
}

}  // namespace
}  // namespace vornak
