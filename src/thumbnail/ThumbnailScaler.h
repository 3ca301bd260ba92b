// Scales a decoded picture to a thumbnail of a given size, in RGB, with libswscale.
//
// Not thread-safe: one object per thread. The scaler is kept from picture to picture, as
// libswscale reuses it while the sizes and the pixel format stay the same.
#pragma once

#include "RgbImage.h"

struct AVFrame;
struct SwsContext;

namespace vornak {

class ThumbnailScaler {
  public:
    ThumbnailScaler() = default;
    ~ThumbnailScaler();
    ThumbnailScaler(const ThumbnailScaler&) = delete;
    ThumbnailScaler& operator=(const ThumbnailScaler&) = delete;

    // `image` is replaced only when the whole picture was scaled.
    bool Scale(const AVFrame& frame, int width, int height, RgbImage& image);

  private:
    SwsContext* m_sws = nullptr;  // libswscale's, freed with sws_freeContext
};

}  // namespace vornak
