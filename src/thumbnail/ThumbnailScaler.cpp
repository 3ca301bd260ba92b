#include "ThumbnailScaler.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "FfmpegLog.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace vornak {

namespace {

// Area averaging: a fraction of the size without the shimmer of fine lines.
constexpr int kScaleFlags = SWS_AREA;

}  // namespace

ThumbnailScaler::~ThumbnailScaler() {
    sws_freeContext(m_sws);
}

bool ThumbnailScaler::Scale(const AVFrame& frame, int width, int height, RgbImage& image) {
    if (width <= 0 || height <= 0 || frame.width <= 0 || frame.height <= 0) {
        return false;
    }
    m_sws = sws_getCachedContext(m_sws, frame.width, frame.height,
                                 static_cast<AVPixelFormat>(frame.format), width, height,
                                 AV_PIX_FMT_RGB24, kScaleFlags, nullptr, nullptr, nullptr);
    if (m_sws == nullptr) {
        return false;
    }
    RgbImage scaled;
    scaled.width = width;
    scaled.height = height;
    const std::size_t bytes =
        static_cast<std::size_t>(scaled.Stride()) * static_cast<std::size_t>(height);
    scaled.pixels.resize(bytes + kSwsSlack);
    std::uint8_t* target[4] = {scaled.pixels.data(), nullptr, nullptr, nullptr};
    const int targetStride[4] = {scaled.Stride(), 0, 0, 0};
    const int rows =
        sws_scale(m_sws, frame.data, frame.linesize, 0, frame.height, target, targetStride);
    scaled.pixels.resize(bytes);
    if (rows != height) {
        return false;
    }
    image = std::move(scaled);
    return true;
}

}  // namespace vornak
