// One input of a health report: the file and its scenes, as a checked split or listing gave
// them out, in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SceneSummary.h"

namespace vornak {

struct HealthReportInput {
    std::string path;                  // the input as the user named it
    std::vector<SceneSummary> scenes;  // every scene, fragments included, in order
    // The input was read to its end; else `scenes` holds those finished before it failed or
    // the run stopped.
    bool complete = true;

    // The input holds DV frames (its scenes say so), else a transport stream.
    bool IsDv() const { return !scenes.empty() && scenes.front().IsDv(); }
};

}  // namespace vornak
