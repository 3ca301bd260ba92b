#include "CCamcorderStreamPin.h"

#include "Guids.h"

namespace vornak {

CCamcorderStreamPin::CCamcorderStreamPin(const char* objectName, CBaseFilter* filter,
                                         CCriticalSection* lock)
    : CBaseOutputPin(objectName, filter, lock, "Capture") {}

HRESULT CCamcorderStreamPin::GetMediaType(int position, CMediaType* pmt) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *pmt = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    return S_OK;
}

HRESULT CCamcorderStreamPin::CheckMediaType(const CMediaType* pmt) {
    return pmt != nullptr && pmt->majortype == MEDIATYPE_Stream &&
                   pmt->subtype == MEDIASUBTYPE_MPEG2_TRANSPORT
               ? S_OK
               : S_FALSE;
}

const GUID* CCamcorderStreamPin::Category() const {
    return &PIN_CATEGORY_CAPTURE;
}

}  // namespace vornak
