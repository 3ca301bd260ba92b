#include "HealthImage.h"

#include <cairo.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <memory>
#include <system_error>
#include <vector>

#include "CairoText.h"
#include "ContactSheet.h"

namespace vornak {

namespace {

constexpr int kTitleHeight = 32;  // the title, and the pointers above the marks
constexpr int kPointerHeight = 8;
constexpr int kPointerHalfWidth = 4;
constexpr int kTitleBaseline = 17;
constexpr int kLabelHeight = 20;
constexpr int kLabelBaseline = 14;
constexpr int kInputGap = 12;
constexpr int kInputHeight = kTitleHeight + HealthImage::kStripHeight + kLabelHeight + kInputGap;
constexpr int kLegendRowHeight = 20;
constexpr int kLegendCellWidth = 232;
constexpr int kLegendColumns = HealthImage::kStripWidth / kLegendCellWidth;
constexpr int kSwatchSize = 12;
constexpr int kSwatchGap = 6;
constexpr int kLabelGap = 8;  // the least room between two timecodes under the strip
constexpr double kTitleFontSize = 14;
constexpr double kLabelFontSize = 11;
constexpr double kLegendFontSize = 12;
constexpr const char* kFont = "sans-serif";
constexpr std::size_t kKindCount = static_cast<std::size_t>(HealthKind::IncompleteFrame) + 1;

constexpr Grey kBackground{1.0};
constexpr Grey kText{0.1};
constexpr Grey kQuietText{0.35};
// Scenes alternate between two shades, and a tick marks each boundary: with two hundred scenes
// the shades blur, the ticks still count them.
constexpr std::array<Grey, 2> kSceneShades{Grey{0.88}, Grey{0.78}};
constexpr Grey kBoundary{0.45};
constexpr Grey kOutline{0.3};

void SetColour(cairo_t* cairo, HealthImage::Colour colour) {
    constexpr double kFull = 255.0;
    cairo_set_source_rgb(cairo, colour.red / kFull, colour.green / kFull, colour.blue / kFull);
}

// A scene's share of its input's strip: its pictures, and at least one so that a scene without
// any still has its boundary.
std::uint64_t Share(const SceneSummary& scene) {
    return std::max<std::uint64_t>(scene.pictures, 1);
}

std::uint64_t PicturesBefore(const HealthReportInput& input, std::size_t sceneIndex) {
    std::uint64_t before = 0;
    for (std::size_t i = 0; i < sceneIndex && i < input.scenes.size(); ++i) {
        before += Share(input.scenes[i]);
    }
    return before;
}

std::vector<HealthKind> KindsPresent(std::span<const HealthReportInput> inputs);

std::vector<HealthKind> KindsPresent(const HealthReportInput& input) {
    return KindsPresent(std::span<const HealthReportInput>(&input, 1));
}

std::vector<HealthKind> KindsPresent(std::span<const HealthReportInput> inputs) {
    std::array<bool, kKindCount> present{};
    for (const HealthReportInput& input : inputs) {
        for (const SceneSummary& scene : input.scenes) {
            for (const HealthFinding& finding : scene.findings) {
                present[static_cast<std::size_t>(finding.kind)] = true;
            }
        }
    }
    std::vector<HealthKind> kinds;
    for (std::size_t i = 0; i < kKindCount; ++i) {
        if (present[i]) {
            kinds.push_back(static_cast<HealthKind>(i));
        }
    }
    return kinds;
}

int LegendRows(std::size_t kinds) {
    return std::max(1, static_cast<int>((kinds + kLegendColumns - 1) / kLegendColumns));
}

// Under a mark: its timecode, or where it lies in the input when the stream has none.
std::string MarkLabel(const HealthReportInput& input, std::size_t sceneIndex,
                      const HealthFinding& finding) {
    if (finding.first.timecode) {
        return TimecodeText(*finding.first.timecode);
    }
    const SceneSummary& scene = input.scenes[sceneIndex];
    const double pictures =
        static_cast<double>(PicturesBefore(input, sceneIndex) + finding.first.picture);
    const double rate = scene.picturesPerSecond > 0 ? scene.picturesPerSecond : kPicturesPerSecond;
    return ContactSheet::Duration(pictures / rate);
}

void Lane(const std::vector<HealthKind>& kinds, HealthKind kind, int& top, int& bottom) {
    const auto lane = std::find(kinds.begin(), kinds.end(), kind);
    if (lane == kinds.end()) {
        top = 0;
        bottom = HealthImage::kStripHeight;
        return;
    }
    const int index = static_cast<int>(lane - kinds.begin());
    const int lanes = static_cast<int>(kinds.size());
    top = HealthImage::kStripHeight * index / lanes;
    bottom = HealthImage::kStripHeight * (index + 1) / lanes;
}

struct Mark {
    int left;
    int right;
    HealthKind kind;
    std::string label;
};

void DrawStrip(cairo_t* cairo, const HealthReportInput& input, int top) {
    const int bottom = top + HealthImage::kStripHeight;
    if (input.scenes.empty()) {
        SetGrey(cairo, kSceneShades[0]);
        cairo_rectangle(cairo, HealthImage::kStripLeft, top, HealthImage::kStripWidth,
                        HealthImage::kStripHeight);
        cairo_fill(cairo);
    }
    for (std::size_t i = 0; i < input.scenes.size(); ++i) {
        const double left = std::round(HealthImage::PictureX(input, i, 0));
        const double right = std::round(HealthImage::PictureX(input, i, Share(input.scenes[i])));
        SetGrey(cairo, kSceneShades[i % kSceneShades.size()]);
        cairo_rectangle(cairo, left, top, right - left, HealthImage::kStripHeight);
        cairo_fill(cairo);
        if (i > 0) {
            SetGrey(cairo, kBoundary);
            cairo_rectangle(cairo, left, top, 1, HealthImage::kStripHeight);
            cairo_fill(cairo);
        }
    }

    std::vector<Mark> marks;
    for (std::size_t i = 0; i < input.scenes.size(); ++i) {
        for (const HealthFinding& finding : input.scenes[i].findings) {
            Mark mark{0, 0, finding.kind, MarkLabel(input, i, finding)};
            HealthImage::MarkSpan(input, i, finding, mark.left, mark.right);
            marks.push_back(std::move(mark));
        }
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark& a, const Mark& b) { return a.left < b.left; });
    const std::vector<HealthKind> kinds = KindsPresent(input);
    for (const Mark& mark : marks) {
        // A pointer above the strip finds the mark at a glance, however thin its lane.
        const double centre = (mark.left + mark.right) / 2.0;
        SetColour(cairo, HealthImage::KindColour(mark.kind));
        cairo_move_to(cairo, centre - kPointerHalfWidth, top - 1 - kPointerHeight);
        cairo_line_to(cairo, centre + kPointerHalfWidth, top - 1 - kPointerHeight);
        cairo_line_to(cairo, centre, top - 1);
        cairo_close_path(cairo);
        cairo_fill(cairo);
        int laneTop = 0;
        int laneBottom = 0;
        Lane(kinds, mark.kind, laneTop, laneBottom);
        SetColour(cairo, HealthImage::KindColour(mark.kind));
        cairo_rectangle(cairo, mark.left, top + laneTop, mark.right - mark.left,
                        laneBottom - laneTop);
        cairo_fill(cairo);
    }

    SetGrey(cairo, kOutline);
    cairo_set_line_width(cairo, 1);
    cairo_rectangle(cairo, HealthImage::kStripLeft - 0.5, top - 0.5, HealthImage::kStripWidth + 1,
                    HealthImage::kStripHeight + 1);
    cairo_stroke(cairo);

    // A label that would run into the one before is left out: the mark still shows.
    double lastEnd = -kLabelGap;
    const double stripRight = HealthImage::kStripLeft + HealthImage::kStripWidth;
    SetGrey(cairo, kText);
    for (const Mark& mark : marks) {
        const double width = TextWidth(cairo, kLabelFontSize, mark.label);
        const double centre = (mark.left + mark.right) / 2.0;
        const double x =
            std::clamp(centre - width / 2, static_cast<double>(HealthImage::kStripLeft),
                       std::max<double>(HealthImage::kStripLeft, stripRight - width));
        if (x < lastEnd + kLabelGap) {
            continue;
        }
        DrawText(cairo, x, bottom + kLabelBaseline, kLabelFontSize, mark.label);
        lastEnd = x + width;
    }
}

void DrawLegend(cairo_t* cairo, const std::vector<HealthKind>& kinds, int top) {
    if (kinds.empty()) {
        SetGrey(cairo, kQuietText);
        DrawText(cairo, HealthImage::kMargin, top + kSwatchSize, kLegendFontSize,
                 "No damage found");
        return;
    }
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const int column = static_cast<int>(i % kLegendColumns);
        const int row = static_cast<int>(i / kLegendColumns);
        const int x = HealthImage::kMargin + column * kLegendCellWidth;
        const int y = top + row * kLegendRowHeight;
        SetColour(cairo, HealthImage::KindColour(kinds[i]));
        cairo_rectangle(cairo, x, y, kSwatchSize, kSwatchSize);
        cairo_fill(cairo);
        SetGrey(cairo, kText);
        DrawText(cairo, x + kSwatchSize + kSwatchGap, y + kSwatchSize - 1, kLegendFontSize,
                 HealthKindUnit(kinds[i]));
    }
}

struct PngSink {
    int fd = -1;
    int error = 0;
};

cairo_status_t WritePngBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PngSink*>(closure);
    while (length > 0) {
        const ssize_t written = ::write(sink->fd, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            sink->error = written < 0 ? errno : ENOSPC;  // a write of nothing: no room left
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += written;
        length -= static_cast<unsigned int>(written);
    }
    return CAIRO_STATUS_SUCCESS;
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

HealthImage::Colour HealthImage::KindColour(HealthKind kind) {
    switch (kind) {
        case HealthKind::PacketsLost:
            return {214, 39, 40};
        case HealthKind::BrokenPicture:
            return {255, 127, 14};
        case HealthKind::DecodeError:
            return {148, 103, 189};
        case HealthKind::NoDatePack:
            return {31, 119, 180};
        case HealthKind::SequenceChange:
            return {23, 190, 207};
        case HealthKind::TimecodeJump:
            return {44, 160, 44};
        case HealthKind::VideoError:
            return {140, 86, 75};
        case HealthKind::VideoConcealed:
            return {227, 119, 194};
        case HealthKind::AudioError:
            return {188, 189, 34};
        case HealthKind::FramesMissing:
            return {57, 59, 121};
        case HealthKind::DateJump:
            return {99, 121, 57};
        case HealthKind::IncompleteFrame:
            return {231, 186, 82};
    }
    return {0, 0, 0};
}

std::string HealthImage::Title(const HealthReportInput& input) {
    std::size_t scenes = 0;
    std::size_t findings = 0;
    bool checked = false;
    for (const SceneSummary& scene : input.scenes) {
        scenes += scene.fragment ? 0 : 1;
        findings += scene.findings.size();
        checked = checked || scene.healthChecked;
    }
    std::string title = FileName(input.path) + "   " + std::to_string(scenes) +
                        (scenes == 1 ? " scene   " : " scenes   ");
    if (findings > 0) {
        return title + std::to_string(findings) + (findings == 1 ? " finding" : " findings");
    }
    return title + (checked ? "clean" : "not checked");
}

void HealthImage::LaneSpan(const HealthReportInput& input, HealthKind kind, int& top, int& bottom) {
    Lane(KindsPresent(input), kind, top, bottom);
}

int HealthImage::Height(std::span<const HealthReportInput> inputs) {
    return kMargin + static_cast<int>(inputs.size()) * kInputHeight +
           LegendRows(KindsPresent(inputs).size()) * kLegendRowHeight + kMargin;
}

int HealthImage::StripTop(std::span<const HealthReportInput> /*inputs*/, std::size_t index) {
    return kMargin + static_cast<int>(index) * kInputHeight + kTitleHeight;
}

double HealthImage::PictureX(const HealthReportInput& input, std::size_t sceneIndex,
                             std::uint64_t picture) {
    const std::uint64_t total = PicturesBefore(input, input.scenes.size());
    if (total == 0 || sceneIndex >= input.scenes.size()) {
        return sceneIndex >= input.scenes.size() && total > 0 ? kStripLeft + kStripWidth
                                                              : kStripLeft;
    }
    const std::uint64_t at =
        PicturesBefore(input, sceneIndex) + std::min(picture, Share(input.scenes[sceneIndex]));
    return kStripLeft + kStripWidth * static_cast<double>(at) / static_cast<double>(total);
}

void HealthImage::MarkSpan(const HealthReportInput& input, std::size_t sceneIndex,
                           const HealthFinding& finding, int& left, int& right) {
    const std::uint64_t last = std::max(finding.first.picture, finding.last.picture);
    left = static_cast<int>(std::floor(PictureX(input, sceneIndex, finding.first.picture)));
    right = static_cast<int>(std::ceil(PictureX(input, sceneIndex, last + 1)));
    if (right - left < kMinMarkWidth) {
        left = (left + right) / 2 - kMinMarkWidth / 2;
        right = left + kMinMarkWidth;
    }
    // Kept inside the strip, at full width, at either end of it.
    const int shift =
        std::max(0, kStripLeft - left) - std::max(0, right - (kStripLeft + kStripWidth));
    left += shift;
    right += shift;
}

bool HealthImage::Write(const std::string& path, std::span<const HealthReportInput> inputs,
                        std::string& reason) {
    const int height = Height(inputs);
    const Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height));
    if (const cairo_status_t status = cairo_surface_status(image.get());
        status != CAIRO_STATUS_SUCCESS) {
        reason = path + ": " + cairo_status_to_string(status);
        return false;
    }
    {
        const std::unique_ptr<cairo_t, ContextDeleter> owner(cairo_create(image.get()));
        cairo_t* const cairo = owner.get();
        SetGrey(cairo, kBackground);
        cairo_paint(cairo);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const int top = kMargin + static_cast<int>(i) * kInputHeight;
            cairo_select_font_face(cairo, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
            SetGrey(cairo, kText);
            DrawText(cairo, kMargin, top + kTitleBaseline, kTitleFontSize, Title(inputs[i]));
            cairo_select_font_face(cairo, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
            DrawStrip(cairo, inputs[i], StripTop(inputs, i));
        }
        DrawLegend(cairo, KindsPresent(inputs),
                   kMargin + static_cast<int>(inputs.size()) * kInputHeight);
        cairo_surface_flush(image.get());
        if (const cairo_status_t status = cairo_status(cairo); status != CAIRO_STATUS_SUCCESS) {
            reason = path + ": " + cairo_status_to_string(status);
            return false;
        }
    }

    PngSink sink;
    sink.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (sink.fd < 0) {
        const int error = errno;
        reason = path + (error == EEXIST ? ": already exists, not overwritten"
                                         : ": " + std::system_category().message(error));
        return false;
    }
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(image.get(), WritePngBytes, &sink);
    if (::close(sink.fd) != 0 && sink.error == 0 && status == CAIRO_STATUS_SUCCESS) {
        sink.error = errno;
    }
    if (status != CAIRO_STATUS_SUCCESS || sink.error != 0) {
        ::unlink(path.c_str());  // a cut-off picture is no use to anyone
        reason = path + ": " +
                 (sink.error != 0 ? std::system_category().message(sink.error)
                                  : std::string(cairo_status_to_string(status)));
        return false;
    }
    return true;
}

}  // namespace vornak
