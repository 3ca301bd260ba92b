// A picture in memory as the thumbnails travel: 8-bit red, green and blue per pixel, rows
// back to back without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vornak {

struct RgbImage {
    static constexpr int kBytesPerPixel = 3;

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3 bytes

    int Stride() const { return width * kBytesPerPixel; }
    bool Empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
};

}  // namespace vornak
