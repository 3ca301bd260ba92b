#include "CEnumPinList.h"

#include <utility>

#include "Guids.h"

namespace vornak {

CEnumPinList::CEnumPinList(std::vector<ComPtr<IPin>> pins, std::size_t position)
    : CUnknown("CEnumPinList"), m_pins(std::move(pins)), m_nPosition(position) {}

HRESULT CEnumPinList::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CEnumPinList::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CEnumPinList::Release() {
    return NonDelegatingRelease();
}

HRESULT CEnumPinList::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumPinList::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    if (ppPins == nullptr || (pcFetched == nullptr && cPins > 1)) {
        return E_POINTER;
    }
    ULONG fetched = 0;
    while (fetched < cPins && m_nPosition < m_pins.size()) {
        HandOut(m_pins[m_nPosition++].Get(), &ppPins[fetched++]);
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CEnumPinList::Skip(ULONG cPins) {
    m_nPosition += cPins;
    return m_nPosition > m_pins.size() ? S_FALSE : S_OK;
}

HRESULT CEnumPinList::Reset() {
    m_nPosition = 0;
    return S_OK;
}

HRESULT CEnumPinList::Clone(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    return HandOut(static_cast<IEnumPins*>(new CEnumPinList(m_pins, m_nPosition)), ppEnum);
}

}  // namespace vornak
