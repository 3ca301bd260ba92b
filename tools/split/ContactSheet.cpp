#include "ContactSheet.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "CairoText.h"
#include "SceneListing.h"

namespace vornak {

namespace {

constexpr int kCellWidth = 320;   // a thumbnail's width
constexpr int kCellHeight = 180;  // and its height at 16:9; other shapes are fitted in
constexpr int kMargin = 12;
constexpr int kTitleHeight = 36;
constexpr int kCaptionHeight = 24;
constexpr double kTitleFontSize = 18;
constexpr double kCaptionFontSize = 13;
constexpr double kTextInset = 2;  // between a cell's edge and its caption
constexpr const char* kFont = "sans-serif";
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

constexpr Grey kBackground{0.12};
constexpr Grey kText{0.92};
constexpr Grey kNoPicture{0.25};
constexpr Grey kNoPictureText{0.6};

// The thumbnail as cairo takes it: 32-bit words 0x00RRGGBB.
Surface ToSurface(const RgbImage& image, std::vector<std::uint32_t>& words) {
    words.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::uint8_t* p = &image.pixels[i * RgbImage::kBytesPerPixel];
        words[i] = static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
                   static_cast<std::uint32_t>(p[2]);
    }
    return Surface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(words.data()), CAIRO_FORMAT_RGB24, image.width,
        image.height, image.width * static_cast<int>(sizeof(std::uint32_t))));
}

void DrawNoPicture(cairo_t* cairo, double x, double y) {
    SetGrey(cairo, kNoPicture);
    cairo_rectangle(cairo, x, y, kCellWidth, kCellHeight);
    cairo_fill(cairo);
    SetGrey(cairo, kNoPictureText);
    DrawText(cairo, x + kMargin, y + kCellHeight / 2.0, kCaptionFontSize, "no picture");
}

// A picture cairo cannot take (too large a side, no memory) would put the whole sheet into its
// error state: its scene gets the cell of one without a picture instead.
void DrawPicture(cairo_t* cairo, double x, double y, const RgbImage* image) {
    if (image == nullptr || image->Empty() ||
        image->pixels.size() <
            static_cast<std::size_t>(image->Stride()) * static_cast<std::size_t>(image->height)) {
        DrawNoPicture(cairo, x, y);
        return;
    }
    std::vector<std::uint32_t> words;
    const Surface picture = ToSurface(*image, words);
    if (cairo_surface_status(picture.get()) != CAIRO_STATUS_SUCCESS) {
        DrawNoPicture(cairo, x, y);
        return;
    }
    // Fitted into the cell and centred: a 4:3 picture stands between two bars.
    const double scale = std::min(static_cast<double>(kCellWidth) / image->width,
                                  static_cast<double>(kCellHeight) / image->height);
    const double width = image->width * scale;
    const double height = image->height * scale;
    cairo_save(cairo);
    cairo_translate(cairo, x + (kCellWidth - width) / 2, y + (kCellHeight - height) / 2);
    cairo_scale(cairo, scale, scale);
    cairo_set_source_surface(cairo, picture.get(), 0, 0);
    cairo_paint(cairo);
    cairo_restore(cairo);
}

}  // namespace

void ContactSheet::ReleaseLibraryCaches() {
    // cairo first: its font faces hold fontconfig patterns.
    cairo_debug_reset_static_data();
    FcFini();
}

std::string ContactSheet::Duration(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= kSecondsPerHour) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / kSecondsPerHour,
                      total % kSecondsPerHour / kSecondsPerMinute, total % kSecondsPerMinute);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / kSecondsPerMinute,
                      total % kSecondsPerMinute);
    }
    return text;
}

std::string ContactSheet::Caption(const SceneSummary& scene) {
    std::string date = "no date";
    if (scene.firstDate) {
        date = IsoDateTime(*scene.firstDate);
        date[date.find('T')] = ' ';
    }
    return std::to_string(scene.number) + "   " + date + "   " + Duration(scene.DurationSeconds());
}

JpegFile::Result ContactSheet::Write(const std::string& path, const std::string& title,
                                     std::span<const Entry> entries, std::string& reason) {
    const std::size_t count = std::min<std::size_t>(entries.size(), kScenesPerSheet);
    const int rows = std::max(1, static_cast<int>((count + kColumns - 1) / kColumns));
    const int width = kMargin + kColumns * (kCellWidth + kMargin);
    const int height = kTitleHeight + rows * (kCellHeight + kCaptionHeight + kMargin) + kMargin;

    const Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (const cairo_status_t status = cairo_surface_status(sheet.get());
        status != CAIRO_STATUS_SUCCESS) {
        reason = cairo_status_to_string(status);
        return JpegFile::Result::Failed;
    }
    const std::unique_ptr<cairo_t, ContextDeleter> owner(cairo_create(sheet.get()));
    cairo_t* const cairo = owner.get();
    SetGrey(cairo, kBackground);
    cairo_paint(cairo);
    cairo_select_font_face(cairo, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    SetGrey(cairo, kText);
    DrawText(cairo, kMargin, kTitleHeight - kMargin + kTextInset, kTitleFontSize, title);
    cairo_select_font_face(cairo, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    for (std::size_t i = 0; i < count; ++i) {
        const int column = static_cast<int>(i % kColumns);
        const int row = static_cast<int>(i / kColumns);
        const double x = kMargin + column * (kCellWidth + kMargin);
        const double y = kTitleHeight + row * (kCellHeight + kCaptionHeight + kMargin);
        DrawPicture(cairo, x, y, entries[i].image);
        SetGrey(cairo, kText);
        DrawText(cairo, x + kTextInset, y + kCellHeight + kCaptionHeight - 2 * kTextInset - 4,
                 kCaptionFontSize, Caption(entries[i].scene));
    }
    cairo_surface_flush(sheet.get());
    for (const cairo_status_t status : {cairo_status(cairo), cairo_surface_status(sheet.get())}) {
        if (status != CAIRO_STATUS_SUCCESS) {
            reason = cairo_status_to_string(status);
            return JpegFile::Result::Failed;
        }
    }
    int error = 0;
    const JpegFile::Result result = JpegFile::Write(
        path, cairo_image_surface_get_data(sheet.get()), width, height,
        cairo_image_surface_get_stride(sheet.get()), JpegFile::Layout::Xrgb32, &error);
    if (result == JpegFile::Result::Failed) {
        reason = JpegFile::FailureReason(error);
    }
    return result;
}

}  // namespace vornak
