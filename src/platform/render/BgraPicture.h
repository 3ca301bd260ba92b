// A picture of 32-bit pixels, bytes in the order blue, green, red, alpha, as the preview
// window blits them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vornak {

struct BgraPicture {
    static constexpr int kBytesPerPixel = 4;
    // Lines start on this boundary so that the scaler's vector code writes whole blocks.
    static constexpr int kLineAlignment = 64;
    // Room past the last line: vector code may store a little beyond a line's last pixel.
    static constexpr std::size_t kTailPadding = 64;

    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes from one line to the next

    // Makes room for `w` x `h` pixels, keeping the buffer when it is already big enough.
    void Allocate(int w, int h) {
        width = w;
        height = h;
        stride = (w * kBytesPerPixel + kLineAlignment - 1) / kLineAlignment * kLineAlignment;
        pixels.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h) +
                      kTailPadding);
    }
    bool Empty() const { return width <= 0 || height <= 0; }
    // The pixel at (x, y) as 0xAARRGGBB.
    std::uint32_t Pixel(int x, int y) const {
        const std::uint8_t* p = pixels.data() + static_cast<std::size_t>(y) * stride +
                                static_cast<std::size_t>(x) * kBytesPerPixel;
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
};

}  // namespace vornak
