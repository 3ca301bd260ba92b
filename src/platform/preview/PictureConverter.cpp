#include "PictureConverter.h"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace vornak {
namespace {

constexpr int kMacroblockSize = 16;
constexpr std::uint8_t kBlackLuma = 16;  // video range
constexpr std::uint8_t kNeutralChroma = 128;
constexpr int kPlanes = 3;
constexpr int kScaledAlignment = 64;  // swscale's SIMD paths like wide, aligned lines
constexpr int kScaledRowSlack = 2;    // a couple of spare rows for its vertical filters

int ChromaSize(int size) {
    return (size + 1) / 2;
}

int AlignUp(int value, int alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

struct PlaneLayout {
    std::array<int, kPlanes> width;
    std::array<int, kPlanes> height;
    std::array<std::size_t, kPlanes> offset;
};

PlaneLayout Layout(int width, int height) {
    PlaneLayout layout;
    layout.width = {width, ChromaSize(width), ChromaSize(width)};
    layout.height = {height, ChromaSize(height), ChromaSize(height)};
    layout.offset[0] = 0;
    for (int plane = 1; plane < kPlanes; ++plane) {
        layout.offset[plane] =
            layout.offset[plane - 1] + static_cast<std::size_t>(layout.width[plane - 1]) *
                                           static_cast<std::size_t>(layout.height[plane - 1]);
    }
    return layout;
}

bool Is420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

PictureConverter::~PictureConverter() {
    sws_freeContext(m_sws);
}

std::size_t PictureConverter::PictureBytes(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) +
           2 * static_cast<std::size_t>(ChromaSize(width)) *
               static_cast<std::size_t>(ChromaSize(height));
}

std::size_t PictureConverter::Convert(const AVFrame& frame, int width, int height,
                                      std::span<std::uint8_t> target) {
    const std::size_t bytes = PictureBytes(width, height);
    if (bytes == 0 || target.size() < bytes || frame.width <= 0 || frame.height <= 0 ||
        frame.data[0] == nullptr) {
        return 0;
    }
    target = target.first(bytes);
    if (IsCopyable(frame, width, height)) {
        Copy(frame, width, height, target);
        return bytes;
    }
    return Scale(frame, width, height, target) ? bytes : 0;
}

std::size_t PictureConverter::ConvertPillarboxed(const AVFrame& frame, int width, int height,
                                                 int shownWidth, std::span<std::uint8_t> target) {
    if (shownWidth <= 0 || shownWidth >= width || shownWidth % 2 != 0) {
        return Convert(frame, width, height, target);
    }
    const std::size_t bytes = PictureBytes(width, height);
    if (bytes == 0 || target.size() < bytes) {
        return 0;
    }
    m_narrow.resize(PictureBytes(shownWidth, height));
    if (Convert(frame, shownWidth, height, m_narrow) == 0) {
        return 0;
    }
    const PlaneLayout out = Layout(width, height);
    const PlaneLayout in = Layout(shownWidth, height);
    // Both bars even, so that the chroma planes split where the luma does.
    const int left = (width - shownWidth) / 2 / 2 * 2;
    for (int plane = 0; plane < kPlanes; ++plane) {
        const int bar = plane == 0 ? left : left / 2;
        const std::uint8_t black = plane == 0 ? kBlackLuma : kNeutralChroma;
        const auto outWidth = static_cast<std::size_t>(out.width[plane]);
        const auto inWidth = static_cast<std::size_t>(in.width[plane]);
        for (int y = 0; y < out.height[plane]; ++y) {
            std::uint8_t* row =
                target.data() + out.offset[plane] + static_cast<std::size_t>(y) * outWidth;
            std::memset(row, black, outWidth);
            std::memcpy(row + bar,
                        m_narrow.data() + in.offset[plane] + static_cast<std::size_t>(y) * inWidth,
                        inWidth);
        }
    }
    return bytes;
}

bool PictureConverter::IsCopyable(const AVFrame& frame, int width, int height) {
    return Is420(frame.format) && frame.width == width && frame.height <= height &&
           height - frame.height < kMacroblockSize;
}

void PictureConverter::Copy(const AVFrame& frame, int width, int height,
                            std::span<std::uint8_t> target) {
    const PlaneLayout out = Layout(width, height);
    const PlaneLayout in = Layout(frame.width, frame.height);
    for (int plane = 0; plane < kPlanes; ++plane) {
        std::uint8_t* row = target.data() + out.offset[plane];
        const auto rowBytes = static_cast<std::size_t>(out.width[plane]);
        for (int y = 0; y < out.height[plane]; ++y, row += rowBytes) {
            if (y < in.height[plane]) {
                std::memcpy(
                    row, frame.data[plane] + static_cast<std::ptrdiff_t>(y) * frame.linesize[plane],
                    rowBytes);
            } else {
                std::memset(row, plane == 0 ? kBlackLuma : kNeutralChroma, rowBytes);
            }
        }
    }
}

bool PictureConverter::Scale(const AVFrame& frame, int width, int height,
                             std::span<std::uint8_t> target) {
    m_sws = sws_getCachedContext(m_sws, frame.width, frame.height,
                                 static_cast<AVPixelFormat>(frame.format), width, height,
                                 AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (m_sws == nullptr) {
        return false;
    }
    // Scaled into a buffer of its own first: swscale may write past the end of a line.
    const PlaneLayout out = Layout(width, height);
    std::array<int, kPlanes> strides{};
    std::array<std::size_t, kPlanes> offsets{};
    std::size_t total = 0;
    for (int plane = 0; plane < kPlanes; ++plane) {
        strides[plane] = AlignUp(out.width[plane], kScaledAlignment);
        offsets[plane] = total;
        total += static_cast<std::size_t>(strides[plane]) *
                 static_cast<std::size_t>(out.height[plane] + kScaledRowSlack);
    }
    m_scaled.resize(total + kScaledAlignment);
    std::array<std::uint8_t*, kPlanes + 1> planes{};
    std::array<int, kPlanes + 1> lineSizes{};
    for (int plane = 0; plane < kPlanes; ++plane) {
        planes[plane] = m_scaled.data() + offsets[plane];
        lineSizes[plane] = strides[plane];
    }
    const int rows = sws_scale(m_sws, frame.data, frame.linesize, 0, frame.height, planes.data(),
                               lineSizes.data());
    if (rows <= 0) {
        return false;
    }
    for (int plane = 0; plane < kPlanes; ++plane) {
        const auto rowBytes = static_cast<std::size_t>(out.width[plane]);
        for (int y = 0; y < out.height[plane]; ++y) {
            std::memcpy(target.data() + out.offset[plane] + static_cast<std::size_t>(y) * rowBytes,
                        planes[plane] + static_cast<std::ptrdiff_t>(y) * strides[plane], rowBytes);
        }
    }
    return true;
}

}  // namespace vornak
