// A device's property bag: its texts (class GUID, vendor, model, friendly name) by name.
// Writes change this bag only, never the device.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "CUnknown.h"
#include "DeviceEnum.h"

namespace vornak {

class CPropertyBag : public CUnknown, public IPropertyBag {
  public:
    explicit CPropertyBag(std::map<std::string, std::string> properties);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown and IPropertyBag.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // E_INVALIDARG for a property the bag does not have; E_FAIL when asked for anything but
    // text (VT_EMPTY or VT_BSTR).
    HRESULT Read(const std::string& pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    // Text only (VT_BSTR); E_INVALIDARG otherwise.
    HRESULT Write(const std::string& pszPropName, const VARIANT* pVar) override;

  private:
    std::mutex m_lock;
    std::map<std::string, std::string> m_properties;
};

}  // namespace vornak
