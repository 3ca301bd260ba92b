// Text for the pictures drawn with cairo (the contact sheet, the health report's picture).
#pragma once

#include <cairo.h>

#include <string>

namespace vornak {

// cairo takes UTF-8 only, and a string that is not puts the whole drawing into an error state;
// file names need not be UTF-8, so each byte that starts no valid sequence becomes '?'.
std::string ValidUtf8(const std::string& text);

// `text` with its baseline's start at (x, y), in the current font at `size`.
void DrawText(cairo_t* cairo, double x, double y, double size, const std::string& text);

// How far `text` reaches in the current font at `size`.
double TextWidth(cairo_t* cairo, double size, const std::string& text);

}  // namespace vornak
