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

    // On Failed, `error` (when given) gets the system's reason, errno, or 0 when the picture
    // could not be encoded.
    static Result Write(const std::string& path, const RgbImage& image, int* error = nullptr);
    static Result Write(const std::string& path, const std::uint8_t* pixels, int width, int height,
                        int stride, Layout layout, int* error = nullptr);

    // A failure's reason for messages: the system's text for `error`, or that the picture could
    // not be encoded.
    static std::string FailureReason(int error);
};

}  // namespace vornak
