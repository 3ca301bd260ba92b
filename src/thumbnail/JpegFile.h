// Writes a picture as a JPEG file with libavcodec's JPEG (MJPEG) encoder, never over a file
// that exists.
//
// Thread-safe: every call has its own encoder.
#pragma once

#include <cstdint>
#include <string>

#include "RgbImage.h"

namespace vornak {

class JpegFile {
  public:
    enum class Result { Written, AlreadyExists, Failed };

    // Pixel layouts Write takes.
    enum class Layout {
        Rgb24,   // red, green, blue bytes
        Xrgb32,  // 32-bit words, 0x00RRGGBB in the machine's byte order (cairo's RGB24)
    };

    static Result Write(const std::string& path, const RgbImage& image);
    static Result Write(const std::string& path, const std::uint8_t* pixels, int width, int height,
                        int stride, Layout layout);
};

}  // namespace vornak
