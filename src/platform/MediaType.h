// Media types: what flows over a pin connection, with an optional format block that describes
// it further (a picture size, for instance).
//
// An AM_MEDIA_TYPE owns its format block (task memory) and holds a reference on `pUnk`; copies
// are deep. Plain structures are freed with FreeMediaType; CMediaType does it by itself.
#pragma once

#include <cstdint>

#include "Guid.h"
#include "HResult.h"
#include "Unknown.h"

namespace vornak {

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    std::int32_t bFixedSizeSamples = 0;
    std::int32_t bTemporalCompression = 0;
    ULONG lSampleSize = 0;
    GUID formattype;
    IUnknown* pUnk = nullptr;
    ULONG cbFormat = 0;
    std::uint8_t* pbFormat = nullptr;  // task memory, owned
};

// Format block of video types (FORMAT_VideoInfo), laid out as in the SDK.
struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    std::int64_t AvgTimePerFrame = 0;
    BITMAPINFOHEADER bmiHeader;
};

// Frees the format block and releases pUnk; the rest of the structure is left as it was.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Deep copy into `target`, whose own format block must already be free. E_OUTOFMEMORY when the
// format block cannot be copied (the target then has none).
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A deep copy in task memory, or null. Freed with DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// Frees a type made by CreateMediaType (or handed out by a media type enumerator). Accepts null.
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// Reads the format block as a VIDEOINFOHEADER. False when there is none or it is too short.
bool ReadVideoInfo(const AM_MEDIA_TYPE& mt, VIDEOINFOHEADER& info);

// A media type that frees its own format block and copies deeply.
class CMediaType : public AM_MEDIA_TYPE {
  public:
    CMediaType() = default;
    explicit CMediaType(const GUID& major) { majortype = major; }
    CMediaType(const GUID& major, const GUID& sub) {
        majortype = major;
        subtype = sub;
    }
    // A copy that cannot get memory for the format block ends up without one.
    CMediaType(const CMediaType& other);
    explicit CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();

    // Replaces this type by a deep copy of `other`: S_OK or E_OUTOFMEMORY.
    HRESULT Set(const AM_MEDIA_TYPE& other);
    // Replaces the format block by a copy of `bytes`. False when there is no memory for it.
    bool SetFormat(const std::uint8_t* bytes, ULONG length);
    void ResetFormatBuffer();
    bool IsValid() const { return majortype != GUID_NULL; }
};

}  // namespace vornak
