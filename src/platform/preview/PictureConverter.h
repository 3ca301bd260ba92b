// Writes decoded pictures as planar 4:2:0 ("IYUV": Y, then U, then V, each tightly packed) of
// the size a connection agreed on.
//
// A picture that differs only by the rows that round its height up to whole macroblocks (1080
// shown of 1088 coded) is copied and its missing rows are filled with black: scaling it would
// blur every line for the sake of eight. Any other size or pixel format goes through libswscale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace vornak {

class PictureConverter {
  public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Bytes of a width x height IYUV picture.
    static std::size_t PictureBytes(int width, int height);

    // The bytes written to `target`; 0 when the target is too small or the frame cannot be
    // converted (no picture, unknown format).
    std::size_t Convert(const AVFrame& frame, int width, int height,
                        std::span<std::uint8_t> target);
    // As Convert, with the picture scaled to `shownWidth` columns (even, at most `width`) in the
    // middle and black either side: a 4:3 picture in a 16:9 frame keeps its shape.
    std::size_t ConvertPillarboxed(const AVFrame& frame, int width, int height, int shownWidth,
                                   std::span<std::uint8_t> target);

  private:
    static bool IsCopyable(const AVFrame& frame, int width, int height);
    static void Copy(const AVFrame& frame, int width, int height, std::span<std::uint8_t> target);
    bool Scale(const AVFrame& frame, int width, int height, std::span<std::uint8_t> target);

    SwsContext* m_sws = nullptr;         // libswscale's, freed with sws_freeContext
    std::vector<std::uint8_t> m_scaled;  // swscale's output with the strides it likes
    std::vector<std::uint8_t> m_narrow;  // a pillarboxed picture before its bars are added
};

}  // namespace vornak
