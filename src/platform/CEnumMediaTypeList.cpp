#include "CEnumMediaTypeList.h"

#include <utility>

#include "Guids.h"

namespace vornak {

CEnumMediaTypeList::CEnumMediaTypeList(std::vector<CMediaType> types, std::size_t position)
    : CUnknown("CEnumMediaTypeList"), m_types(std::move(types)), m_nPosition(position) {}

HRESULT CEnumMediaTypeList::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CEnumMediaTypeList::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CEnumMediaTypeList::Release() {
    return NonDelegatingRelease();
}

HRESULT CEnumMediaTypeList::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumMediaTypeList::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                 ULONG* pcFetched) {
    ULONG advanced = 0;
    const HRESULT hr = HandOutMediaTypes(
        cMediaTypes, ppMediaTypes, pcFetched, advanced, [&](ULONG offset) -> const AM_MEDIA_TYPE* {
            const std::size_t index = m_nPosition + offset;
            return index < m_types.size() ? &m_types[index] : nullptr;
        });
    m_nPosition += advanced;
    return hr;
}

HRESULT CEnumMediaTypeList::Skip(ULONG cMediaTypes) {
    m_nPosition += cMediaTypes;
    return m_nPosition > m_types.size() ? S_FALSE : S_OK;
}

HRESULT CEnumMediaTypeList::Reset() {
    m_nPosition = 0;
    return S_OK;
}

HRESULT CEnumMediaTypeList::Clone(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    return HandOut(static_cast<IEnumMediaTypes*>(new CEnumMediaTypeList(m_types, m_nPosition)),
                   ppEnum);
}

}  // namespace vornak
