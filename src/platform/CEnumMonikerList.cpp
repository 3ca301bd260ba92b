#include "CEnumMonikerList.h"

#include <algorithm>
#include <utility>

#include "Guids.h"

namespace vornak {

CEnumMonikerList::CEnumMonikerList(std::vector<ComPtr<IMoniker>> monikers, std::size_t position)
    : CUnknown("CEnumMonikerList"), m_monikers(std::move(monikers)), m_nPosition(position) {}

HRESULT CEnumMonikerList::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CEnumMonikerList::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CEnumMonikerList::Release() {
    return NonDelegatingRelease();
}

HRESULT CEnumMonikerList::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumMoniker) {
        return GetInterface(static_cast<IEnumMoniker*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumMonikerList::Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) {
    if (rgelt == nullptr || (pceltFetched == nullptr && celt > 1)) {
        return E_POINTER;
    }
    ULONG fetched = 0;
    while (fetched < celt && m_nPosition < m_monikers.size()) {
        HandOut(m_monikers[m_nPosition++].Get(), &rgelt[fetched++]);
    }
    if (pceltFetched != nullptr) {
        *pceltFetched = fetched;
    }
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT CEnumMonikerList::Skip(ULONG celt) {
    const std::size_t left = m_monikers.size() - m_nPosition;
    m_nPosition += std::min<std::size_t>(celt, left);
    return celt <= left ? S_OK : S_FALSE;
}

HRESULT CEnumMonikerList::Reset() {
    m_nPosition = 0;
    return S_OK;
}

HRESULT CEnumMonikerList::Clone(IEnumMoniker** ppenum) {
    if (ppenum == nullptr) {
        return E_POINTER;
    }
    auto* clone = new CEnumMonikerList(m_monikers, m_nPosition);
    return HandOut(static_cast<IEnumMoniker*>(clone), ppenum);
}

}  // namespace vornak
