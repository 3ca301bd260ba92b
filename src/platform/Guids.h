// Interface ids and media type GUIDs, with the values the published SDK headers give them.
#pragma once

#include "Guid.h"

namespace vornak {

// {00000000-0000-0000-C000-000000000046} and the other COM base interfaces.
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The filter and pin interfaces share one family of ids: {56A868xx-0AD4-11CE-B03A-0020AF0BA770}.
constexpr IID StreamingIid(std::uint32_t data1) {
    return IID{data1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}
inline constexpr IID IID_IPin = StreamingIid(0x56A86891);
inline constexpr IID IID_IEnumPins = StreamingIid(0x56A86892);
inline constexpr IID IID_IBaseFilter = StreamingIid(0x56A86895);
inline constexpr IID IID_IReferenceClock = StreamingIid(0x56A86897);
inline constexpr IID IID_IMediaFilter = StreamingIid(0x56A86899);
inline constexpr IID IID_IMediaSample = StreamingIid(0x56A8689A);
inline constexpr IID IID_IMemAllocator = StreamingIid(0x56A8689C);
inline constexpr IID IID_IMemInputPin = StreamingIid(0x56A8689D);
inline constexpr IID IID_IQualityControl = StreamingIid(0x56A868A5);
inline constexpr IID IID_IFilterGraph = StreamingIid(0x56A8689F);
inline constexpr IID IID_IEnumMediaTypes{
    0x89C31040, 0x846B, 0x11CE, {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr IID IID_IAMovieSetup{
    0xA3D8CEC0, 0x7E5A, 0x11CF, {0xBB, 0xC5, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x20}};

inline constexpr GUID MEDIATYPE_Stream{
    0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIATYPE_Video{
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_MPEG2_TRANSPORT{
    0xE06D8023, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
inline constexpr GUID FORMAT_VideoInfo{
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

}  // namespace vornak
