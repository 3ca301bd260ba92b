#include "CPinPropertySet.h"

#include <cstring>

#include "CBasePin.h"
#include "Guids.h"

namespace vornak {

HRESULT CPinPropertySet::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IKsPropertySet) {
        return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    }
    return m_pin.QueryInterface(riid, ppv);
}

ULONG CPinPropertySet::AddRef() {
    return m_pin.AddRef();
}

ULONG CPinPropertySet::Release() {
    return m_pin.Release();
}

HRESULT CPinPropertySet::CheckProperty(REFGUID guidPropSet, DWORD dwPropID) const {
    if (guidPropSet != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    // A pin that has lost its category (a subclass deciding at run time) answers nothing.
    if (dwPropID != AMPROPERTY_PIN_CATEGORY || m_pin.Category() == nullptr) {
        return E_PROP_ID_UNSUPPORTED;
    }
    return S_OK;
}

HRESULT CPinPropertySet::Set(REFGUID guidPropSet, DWORD dwPropID, void*, DWORD, void*, DWORD) {
    const HRESULT hr = CheckProperty(guidPropSet, dwPropID);
    return Failed(hr) ? hr : E_PROP_ID_UNSUPPORTED;
}

HRESULT CPinPropertySet::Get(REFGUID guidPropSet, DWORD dwPropID, void*, DWORD, void* pPropData,
                             DWORD cbPropData, DWORD* pcbReturned) {
    const HRESULT hr = CheckProperty(guidPropSet, dwPropID);
    if (Failed(hr)) {
        return hr;
    }
    if (pPropData == nullptr && pcbReturned == nullptr) {
        return E_POINTER;
    }
    if (pcbReturned != nullptr) {
        *pcbReturned = sizeof(GUID);
    }
    if (pPropData == nullptr) {
        return S_OK;  // the caller only asked for the size
    }
    if (cbPropData < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    const GUID category = *m_pin.Category();
    std::memcpy(pPropData, &category, sizeof category);
    return S_OK;
}

HRESULT CPinPropertySet::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
    const HRESULT hr = CheckProperty(guidPropSet, dwPropID);
    if (Failed(hr)) {
        return hr;
    }
    if (pTypeSupport != nullptr) {
        *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

}  // namespace vornak
