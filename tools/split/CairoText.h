// What the pictures drawn with cairo (the contact sheet, the health report's picture) share:
// owned cairo objects, greys, and text.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

namespace vornak {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cairo) const { cairo_destroy(cairo); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct Grey {
    double level;  // 0 black, 1 white
};

inline void SetGrey(cairo_t* cairo, Grey grey) {
    cairo_set_source_rgb(cairo, grey.level, grey.level, grey.level);
}

// cairo takes UTF-8 only, and a string that is not puts the whole drawing into an error state;
// file names need not be UTF-8, so each byte that starts no valid sequence becomes '?'.
std::string ValidUtf8(const std::string& text);

// `text` with its baseline's start at (x, y), in the current font at `size`.
void DrawText(cairo_t* cairo, double x, double y, double size, const std::string& text);

// How far `text` reaches in the current font at `size`.
double TextWidth(cairo_t* cairo, double size, const std::string& text);

}  // namespace vornak
