// The system device enumerator: one moniker per device that the device sources list for a
// category, taken at the time the enumerator is made.
#pragma once

#include "CUnknown.h"
#include "DeviceEnum.h"

namespace vornak {

class CSystemDeviceEnum : public CUnknown, public ICreateDevEnum {
  public:
    CSystemDeviceEnum();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown and ICreateDevEnum.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Flags are not used: every device is listed.
    HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                  DWORD dwFlags) override;
};

}  // namespace vornak
