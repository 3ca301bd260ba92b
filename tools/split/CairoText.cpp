#include "CairoText.h"

#include <cstddef>

namespace vornak {

std::string ValidUtf8(const std::string& text) {
    std::string valid;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        bool ok = length > 0 && i + length <= text.size() && (lead != 0xC0 && lead != 0xC1);
        for (std::size_t k = 1; ok && k < length; ++k) {
            ok = (static_cast<unsigned char>(text[i + k]) >> 6) == 0x2;
        }
        if (ok && lead != 0) {
            valid.append(text, i, length);
            i += length;
        } else {
            valid += '?';
            ++i;
        }
    }
    return valid;
}

void DrawText(cairo_t* cairo, double x, double y, double size, const std::string& text) {
    cairo_set_font_size(cairo, size);
    cairo_move_to(cairo, x, y);
    cairo_show_text(cairo, ValidUtf8(text).c_str());
}

double TextWidth(cairo_t* cairo, double size, const std::string& text) {
    cairo_set_font_size(cairo, size);
    cairo_text_extents_t extents{};
    cairo_text_extents(cairo, ValidUtf8(text).c_str(), &extents);
    return extents.x_advance;
}

}  // namespace vornak
