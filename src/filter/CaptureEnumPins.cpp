#include "CaptureEnumPins.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "CBasePin.h"
#include "CaptureFilter.h"
#include "Guids.h"

namespace vornak {

CaptureEnumPins::CaptureEnumPins(CaptureFilter* filter, std::int32_t position)
    : m_pFilter(filter), m_nPosition(position) {
    m_pFilter->AddRef();
}

CaptureEnumPins::~CaptureEnumPins() {
    m_pFilter->Release();
}

HRESULT CaptureEnumPins::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureEnumPins::AddRef() {
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG CaptureEnumPins::Release() {
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(std::max<LONG>(count, 0));
}

HRESULT CaptureEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    if (ppPins == nullptr) {
        return E_POINTER;
    }
    ULONG fetched = 0;
    while (fetched < cPins && m_nPosition >= 0 && m_nPosition < CaptureFilter::kPinCount) {
        CBasePin* pin = m_pFilter->GetPin(m_nPosition++);
        HandOut(static_cast<IPin*>(pin), &ppPins[fetched++]);
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CaptureEnumPins::Skip(ULONG cPins) {
    const std::int64_t position =
        std::min<std::int64_t>(static_cast<std::int64_t>(m_nPosition) + cPins, INT32_MAX);
    m_nPosition = static_cast<std::int32_t>(position);
    return m_nPosition > CaptureFilter::kPinCount ? S_FALSE : S_OK;
}

HRESULT CaptureEnumPins::Reset() {
    m_nPosition = 0;
    return S_OK;
}

HRESULT CaptureEnumPins::Clone(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* clone = new (std::nothrow) CaptureEnumPins(m_pFilter, m_nPosition);
    *ppEnum = clone;
    return clone != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vornak
