#include "CCamcorderFilter.h"

#include "Guids.h"

namespace vornak {

CCamcorderFilter::CCamcorderFilter(const char* objectName, CCriticalSection* lock,
                                   const CLSID& clsid)
    : CBaseFilter(objectName, lock, clsid) {}

HRESULT CCamcorderFilter::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CCamcorderFilter::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CCamcorderFilter::Release() {
    return NonDelegatingRelease();
}

HRESULT CCamcorderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IAMExtDevice) {
        return GetInterface(static_cast<IAMExtDevice*>(this), ppv);
    }
    if (riid == IID_IAMExtTransport) {
        return GetInterface(static_cast<IAMExtTransport*>(this), ppv);
    }
    if (riid == IID_IAMTimecodeReader) {
        return GetInterface(static_cast<IAMTimecodeReader*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

}  // namespace vornak
