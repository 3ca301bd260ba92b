// Turns a rectangle of a planar 4:2:0 picture ("IYUV": the luma plane, then the two chroma
// planes at half width and half height, all tightly packed) into a BGRA picture of any size,
// with libswscale.
//
// Not thread-safe: every thread that scales keeps a scaler of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BgraPicture.h"
#include "MediaType.h"

struct SwsContext;

namespace vornak {

class PictureScaler {
  public:
    PictureScaler();
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // Readable bytes a source picture needs past its end: libswscale's vector code reads whole
    // blocks and may run over the last line.
    static constexpr std::size_t kInputPadding = 64;

    // Bytes of a tightly packed `width` x `height` IYUV picture.
    static std::size_t IyuvSize(int width, int height);

    // Scales the `source` rectangle of the `width` x `height` picture at `iyuv` (followed by
    // kInputPadding readable bytes) to `outWidth` x
    // `outHeight` into `out`. False (and `out` left empty) when the rectangle does not lie within
    // the picture, a size is not positive, or libswscale refuses.
    bool Scale(const std::uint8_t* iyuv, int width, int height, const RECT& source, int outWidth,
               int outHeight, BgraPicture& out);

  private:
    struct Setup {
        int sourceWidth = 0;
        int sourceHeight = 0;
        int outWidth = 0;
        int outHeight = 0;
        bool highDefinition = false;
        bool operator==(const Setup&) const = default;
    };

    bool Prepare(const Setup& setup);

    SwsContext* m_pContext = nullptr;
    Setup m_setup;
};

}  // namespace vornak
