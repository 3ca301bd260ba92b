#include "CaptureFilter.h"

#include <new>

#include "CaptureEnumPins.h"
#include "CapturePin.h"
#include "Guids.h"
#include "PreviewPin.h"

namespace vornak {

CaptureFilter::CaptureFilter(AM_MEDIA_TYPE* types, int count)
    : CBaseFilter("M2T Capture filter", nullptr, GUID_NULL),
      m_pCapturePin(std::make_unique<CapturePin>(this, types, count)),
      m_pPreviewPin(std::make_unique<PreviewPin>(this)) {}

CaptureFilter::~CaptureFilter() {
    m_pCapturePin.reset();
    m_pPreviewPin.reset();
}

HRESULT CaptureFilter::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CaptureFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    return QueryInterface(riid, ppv);
}

CBasePin* CaptureFilter::GetPin(int n) {
    switch (n) {
        case kPreviewPinIndex:
            return m_pPreviewPin.get();
        case kCapturePinIndex:
            return m_pCapturePin.get();
        default:
            return nullptr;
    }
}

HRESULT CaptureFilter::EnumPins(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* enumerator = new (std::nothrow) CaptureEnumPins(this, 0);
    *ppEnum = enumerator;  // created with its one reference, or null
    return enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CaptureFilter::FindPin(const std::string&, IPin** ppPin) {
    if (ppPin != nullptr) {
        *ppPin = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT CaptureFilter::QueryVendorInfo(std::string*) {
    return E_NOTIMPL;
}

}  // namespace vornak
