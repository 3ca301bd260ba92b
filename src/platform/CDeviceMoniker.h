// A moniker for one device of the system device enumerator: binds to the device's property
// bag (its names) and to its filter.
#pragma once

#include "CUnknown.h"
#include "DeviceCatalog.h"
#include "DeviceEnum.h"

namespace vornak {

class CDeviceMoniker : public CUnknown, public IMoniker {
  public:
    explicit CDeviceMoniker(DeviceDescription device);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown and IMoniker.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IID_IPropertyBag only; E_FAIL for a device that has no property bag. Every call gives a
    // new bag over the properties the device had when it was enumerated.
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    // Makes the device's filter and asks it for `riidResult`; a failure to make it is passed on.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                         void** ppvResult) override;

  private:
    const DeviceDescription m_device;
};

}  // namespace vornak
