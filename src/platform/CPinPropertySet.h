// A pin's property set, handed out when a pin with a category is asked for IKsPropertySet.
//
// It lives inside its pin and has no count of its own: AddRef and Release count on the pin,
// and so on the filter, which keeps the pin (and this) alive while anyone holds the set.
#pragma once

#include "GraphInterfaces.h"

namespace vornak {

class CBasePin;

class CPinPropertySet final : public IKsPropertySet {
  public:
    explicit CPinPropertySet(CBasePin& pin) : m_pin(pin) {}
    CPinPropertySet(const CPinPropertySet&) = delete;
    CPinPropertySet& operator=(const CPinPropertySet&) = delete;

    // IKsPropertySet from here; every other interface (IUnknown included) from the pin, so that
    // the pin stays the object's identity.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // Categories are fixed by the pin: nothing can be written.
    HRESULT Set(REFGUID guidPropSet, DWORD dwPropID, void* pInstanceData, DWORD cbInstanceData,
                void* pPropData, DWORD cbPropData) override;
    // AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY: copies the pin's category GUID.
    HRESULT Get(REFGUID guidPropSet, DWORD dwPropID, void* pInstanceData, DWORD cbInstanceData,
                void* pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
    HRESULT QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  private:
    HRESULT CheckProperty(REFGUID guidPropSet, DWORD dwPropID) const;

    CBasePin& m_pin;
};

}  // namespace vornak
