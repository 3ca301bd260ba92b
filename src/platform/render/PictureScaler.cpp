#include "PictureScaler.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace vornak {
namespace {

// Pictures this tall or taller are high definition and carry BT.709 colours; smaller ones
// BT.601.
constexpr int kHighDefinitionHeight = 720;
// Bilinear measured about as fast as the fast variant and does not alias when shrinking a
// 1440-pixel picture to a quarter.
constexpr int kScaleFlags = SWS_BILINEAR;
// libswscale's fixed-point one for brightness, contrast and saturation.
constexpr int kUnity = 1 << 16;
constexpr int kMpegRange = 0;
constexpr int kFullRange = 1;

int HalfUp(int n) {
    return (n + 1) / 2;
}

}  // namespace

PictureScaler::PictureScaler() = default;

PictureScaler::~PictureScaler() {
    sws_freeContext(m_pContext);
}

std::size_t PictureScaler::IyuvSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const auto luma = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const auto chroma =
        static_cast<std::size_t>(HalfUp(width)) * static_cast<std::size_t>(HalfUp(height));
    return luma + 2 * chroma;
}

bool PictureScaler::Prepare(const Setup& setup) {
    if (m_pContext != nullptr && setup == m_setup) {
        return true;
    }
    sws_freeContext(m_pContext);
    m_pContext =
        sws_getContext(setup.sourceWidth, setup.sourceHeight, AV_PIX_FMT_YUV420P, setup.outWidth,
                       setup.outHeight, AV_PIX_FMT_BGRA, kScaleFlags, nullptr, nullptr, nullptr);
    if (m_pContext == nullptr) {
        return false;
    }
    const int* coefficients =
        sws_getCoefficients(setup.highDefinition ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(m_pContext, coefficients, kMpegRange, coefficients, kFullRange, 0,
                             kUnity, kUnity);
    m_setup = setup;
    return true;
}

bool PictureScaler::Scale(const std::uint8_t* iyuv, int width, int height, const RECT& source,
                          int outWidth, int outHeight, BgraPicture& out) {
    out.width = 0;
    out.height = 0;
    if (iyuv == nullptr || width <= 0 || height <= 0 || outWidth <= 0 || outHeight <= 0 ||
        source.left < 0 || source.top < 0 || source.right > width || source.bottom > height ||
        source.left >= source.right || source.top >= source.bottom) {
        return false;
    }
    const Setup setup{source.right - source.left, source.bottom - source.top, outWidth, outHeight,
                      height >= kHighDefinitionHeight};
    if (!Prepare(setup)) {
        return false;
    }

    // The rectangle's first line and column in each plane. An odd top or left starts the
    // chroma at the half line or column below it, which stays inside the plane.
    const int chromaWidth = HalfUp(width);
    const std::size_t lumaSize = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t chromaSize =
        static_cast<std::size_t>(chromaWidth) * static_cast<std::size_t>(HalfUp(height));
    const std::size_t lumaOffset =
        static_cast<std::size_t>(source.top) * static_cast<std::size_t>(width) +
        static_cast<std::size_t>(source.left);
    const std::size_t chromaOffset =
        static_cast<std::size_t>(source.top / 2) * static_cast<std::size_t>(chromaWidth) +
        static_cast<std::size_t>(source.left / 2);
    const std::uint8_t* planes[3] = {iyuv + lumaOffset, iyuv + lumaSize + chromaOffset,
                                     iyuv + lumaSize + chromaSize + chromaOffset};
    const int strides[3] = {width, chromaWidth, chromaWidth};

    out.Allocate(outWidth, outHeight);
    std::uint8_t* outPlanes[1] = {out.pixels.data()};
    const int outStrides[1] = {out.stride};
    const int lines =
        sws_scale(m_pContext, planes, strides, 0, setup.sourceHeight, outPlanes, outStrides);
    if (lines != outHeight) {
        out.width = 0;
        out.height = 0;
        return false;
    }
    return true;
}

}  // namespace vornak
