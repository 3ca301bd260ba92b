// Pieces shared by the renderer tests: media types and pictures made by hand, and a canvas that
// records what a renderer draws on it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Guids.h"
#include "MediaFormats.h"
#include "MediaType.h"
#include "PreviewInterfaces.h"

namespace vornak::test {

struct Yuv {
    std::uint8_t y;
    std::uint8_t u;
    std::uint8_t v;
};

// BT.709 colours in MPEG range, as an HD decoder gives them.
inline constexpr Yuv kRed{63, 102, 240};
inline constexpr Yuv kBlue{32, 240, 118};
inline constexpr Yuv kGreen{173, 42, 26};

inline CMediaType IyuvType(int width, int height) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_IYUV);
    mt.formattype = FORMAT_VideoInfo;
    VIDEOINFOHEADER info;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 12;
    mt.SetFormat(reinterpret_cast<const std::uint8_t*>(&info), sizeof(info));
    return mt;
}

inline CMediaType PcmType(int channels, std::uint32_t rate, int bits = 16) {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.formattype = FORMAT_WaveFormatEx;
    WAVEFORMATEX wfx;
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = static_cast<std::uint16_t>(channels);
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = static_cast<std::uint16_t>(bits);
    wfx.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    mt.SetFormat(reinterpret_cast<const std::uint8_t*>(&wfx), sizeof(wfx));
    return mt;
}

// A tightly packed planar 4:2:0 picture; each chroma sample takes the colour of the luma pixel
// at its top-left.
inline std::vector<std::uint8_t> IyuvPicture(int width, int height,
                                             const std::function<Yuv(int x, int y)>& colour) {
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width * height + 2 * cw * ch));
    std::uint8_t* u = picture.data() + width * height;
    std::uint8_t* v = u + cw * ch;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Yuv c = colour(x, y);
            picture[static_cast<std::size_t>(y * width + x)] = c.y;
            if (x % 2 == 0 && y % 2 == 0) {
                u[(y / 2) * cw + x / 2] = c.u;
                v[(y / 2) * cw + x / 2] = c.v;
            }
        }
    }
    return picture;
}

struct Rgb {
    int r;
    int g;
    int b;
};

inline Rgb ToRgb(std::uint32_t argb) {
    return Rgb{static_cast<int>(argb >> 16 & 0xFF), static_cast<int>(argb >> 8 & 0xFF),
               static_cast<int>(argb & 0xFF)};
}

// Strongly one colour: that channel well above both others.
inline bool IsReddish(Rgb c) {
    return c.r > 150 && c.g < 80 && c.b < 80;
}
inline bool IsBluish(Rgb c) {
    return c.b > 150 && c.r < 80 && c.g < 80;
}
inline bool IsGreenish(Rgb c) {
    return c.g > 150 && c.r < 80 && c.b < 80;
}

class RecordingCanvas final : public IVideoCanvas {
  public:
    struct Drawing {
        std::vector<std::uint8_t> bgra;
        int width = 0;
        int height = 0;
        int stride = 0;
        int x = 0;
        int y = 0;
        Rgb At(int px, int py) const {
            const std::uint8_t* p = bgra.data() + py * stride + px * 4;
            return Rgb{p[2], p[1], p[0]};
        }
    };

    void DrawPicture(const std::uint8_t* bgra, int width, int height, int stride, int x,
                     int y) override {
        drawings.push_back(Drawing{
            std::vector<std::uint8_t>(bgra, bgra + static_cast<std::size_t>(stride) * height),
            width, height, stride, x, y});
    }
    void FillBlack(const RECT& rect) override { blacks.push_back(rect); }

    std::vector<Drawing> drawings;
    std::vector<RECT> blacks;
};

}  // namespace vornak::test
