// The health report as a picture: each input as a strip along its time, its scenes' boundaries
// and each finding as a mark coloured by its kind, with a legend and the timecodes under the
// marks. Drawn with cairo, as the contact sheet is, and written as a PNG file.
#pragma once

#include <span>
#include <string>

#include "HealthReportInput.h"

namespace vornak {

class HealthImage {
  public:
    static constexpr int kWidth = 1200;

    // Draws `inputs` and writes the picture to `path`, which must not exist. False, with
    // `reason` saying why, when it could not be written.
    static bool Write(const std::string& path, std::span<const HealthReportInput> inputs,
                      std::string& reason);
};

}  // namespace vornak
