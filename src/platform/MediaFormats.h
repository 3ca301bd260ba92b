// Format blocks of the preview path's media types, laid out byte for byte as the SDK lays them
// out, so that their sizes (and the format sizes that media types carry) are the familiar ones.
#pragma once

#include <cstdint>

#include "MediaType.h"

namespace vornak {

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    std::int64_t AvgTimePerFrame = 0;
    std::uint32_t dwInterlaceFlags = 0;
    std::uint32_t dwCopyProtectFlags = 0;
    std::uint32_t dwPictAspectRatioX = 0;
    std::uint32_t dwPictAspectRatioY = 0;
    std::uint32_t dwControlFlags = 0;
    std::uint32_t dwReserved2 = 0;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);

struct MPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    std::uint32_t dwStartTimeCode = 0;
    std::uint32_t cbSequenceHeader = 0;
    std::uint32_t dwProfile = 0;
    std::uint32_t dwLevel = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwSequenceHeader[1] = {};
};
static_assert(sizeof(MPEG2VIDEOINFO) == 136);

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
static_assert(sizeof(WAVEFORMATEX) == 18);

struct MPEG1WAVEFORMAT {
    WAVEFORMATEX wfx;
    std::uint16_t fwHeadLayer = 0;
    std::uint32_t dwHeadBitrate = 0;
    std::uint16_t fwHeadMode = 0;
    std::uint16_t fwHeadModeExt = 0;
    std::uint16_t wHeadEmphasis = 0;
    std::uint16_t fwHeadFlags = 0;
    std::uint32_t dwPTSLow = 0;
    std::uint32_t dwPTSHigh = 0;
};
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);
#pragma pack(pop)

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr std::uint16_t WAVE_FORMAT_MPEG = 0x0050;
inline constexpr std::uint16_t ACM_MPEG_LAYER2 = 0x0002;
inline constexpr std::uint16_t ACM_MPEG_STEREO = 0x0001;

}  // namespace vornak
