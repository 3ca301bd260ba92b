#include "CSystemDeviceEnum.h"

#include <utility>
#include <vector>

#include "CDeviceMoniker.h"
#include "CEnumMonikerList.h"
#include "ComPtr.h"
#include "DeviceCatalog.h"
#include "Guids.h"

namespace vornak {

CSystemDeviceEnum::CSystemDeviceEnum() : CUnknown("CSystemDeviceEnum") {}

HRESULT CSystemDeviceEnum::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CSystemDeviceEnum::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CSystemDeviceEnum::Release() {
    return NonDelegatingRelease();
}

HRESULT CSystemDeviceEnum::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ICreateDevEnum) {
        return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSystemDeviceEnum::CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                 IEnumMoniker** ppEnumMoniker, DWORD) {
    if (ppEnumMoniker == nullptr) {
        return E_POINTER;
    }
    *ppEnumMoniker = nullptr;
    std::vector<ComPtr<IMoniker>> monikers;
    for (DeviceDescription& device : ListDevices(clsidDeviceClass)) {
        monikers.emplace_back(static_cast<IMoniker*>(new CDeviceMoniker(std::move(device))));
    }
    if (monikers.empty()) {
        return S_FALSE;
    }
    auto* enumerator = new CEnumMonikerList(std::move(monikers), 0);
    return HandOut(static_cast<IEnumMoniker*>(enumerator), ppEnumMoniker);
}

}  // namespace vornak
