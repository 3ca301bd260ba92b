#include "CDeviceMoniker.h"

#include <utility>

#include "CPropertyBag.h"
#include "ComPtr.h"
#include "Guids.h"

namespace vornak {

CDeviceMoniker::CDeviceMoniker(DeviceDescription device)
    : CUnknown("CDeviceMoniker"), m_device(std::move(device)) {}

HRESULT CDeviceMoniker::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CDeviceMoniker::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CDeviceMoniker::Release() {
    return NonDelegatingRelease();
}

HRESULT CDeviceMoniker::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMoniker) {
        return GetInterface(static_cast<IMoniker*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CDeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppvObj) {
    if (ppvObj == nullptr) {
        return E_POINTER;
    }
    *ppvObj = nullptr;
    if (riid != IID_IPropertyBag && riid != IID_IUnknown) {
        return E_NOINTERFACE;
    }
    if (!m_device.properties) {
        return E_FAIL;
    }
    const ComPtr<IPropertyBag> bag(new CPropertyBag(*m_device.properties));
    return bag->QueryInterface(riid, ppvObj);
}

HRESULT CDeviceMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riidResult, void** ppvResult) {
    if (ppvResult == nullptr) {
        return E_POINTER;
    }
    *ppvResult = nullptr;
    if (!m_device.bind) {
        return E_FAIL;
    }
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = m_device.bind(filter.Receive());
    if (Failed(hr)) {
        return hr;
    }
    if (!filter) {
        return E_FAIL;  // a binder that claims success but makes nothing
    }
    return filter->QueryInterface(riidResult, ppvResult);
}

}  // namespace vornak
