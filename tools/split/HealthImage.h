// The health report as a picture: each input as a strip along its time, its scenes' boundaries
// and each finding as a mark coloured by its kind, with a legend and the timecodes under the
// marks. Drawn with cairo, as the contact sheet is, and written as a PNG file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "HealthReportInput.h"

namespace vornak {

class HealthImage {
  public:
    static constexpr int kWidth = 1200;
    static constexpr int kMargin = 16;
    static constexpr int kStripLeft = kMargin;
    static constexpr int kStripWidth = kWidth - 2 * kMargin;
    static constexpr int kStripHeight = 40;
    // A finding in one picture still gets a bar this wide, so that it shows in a long tape.
    static constexpr int kMinMarkWidth = 3;

    struct Colour {
        std::uint8_t red;
        std::uint8_t green;
        std::uint8_t blue;
        bool operator==(const Colour&) const = default;
    };

    // Draws `inputs` and writes the picture to `path`, which must not exist. False, with
    // `reason` saying why (naming the file), when it could not be written.
    static bool Write(const std::string& path, std::span<const HealthReportInput> inputs,
                      std::string& reason);

    // The picture's height: one strip per input, and the legend's rows.
    static int Height(std::span<const HealthReportInput> inputs);
    // The top of input `index`'s strip.
    static int StripTop(std::span<const HealthReportInput> inputs, std::size_t index);
    // Where picture `picture` of scene `sceneIndex` starts along the input's strip (x in pixels;
    // a picture past the scene's end is its end).
    static double PictureX(const HealthReportInput& input, std::size_t sceneIndex,
                           std::uint64_t picture);
    // The finding's bar: from its first picture to the end of its last, at least
    // kMinMarkWidth wide, in whole pixels [left, right).
    static void MarkSpan(const HealthReportInput& input, std::size_t sceneIndex,
                         const HealthFinding& finding, int& left, int& right);

    // Each kind found in an input has a lane of its own across the strip, so that kinds found
    // in the same pictures (lost packets and the pictures they break) all show: the lane's
    // rows [top, bottom) from the strip's top, or the whole strip when the kind is not found.
    static void LaneSpan(const HealthReportInput& input, HealthKind kind, int& top, int& bottom);

    // The colour a kind's marks are drawn in: a fixed palette, no two kinds alike.
    static Colour KindColour(HealthKind kind);
    // "tape.m2t   3 scenes   2 findings", "... clean", or "... not checked".
    static std::string Title(const HealthReportInput& input);
};

}  // namespace vornak
