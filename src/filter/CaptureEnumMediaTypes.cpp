#include "CaptureEnumMediaTypes.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "CapturePin.h"
#include "Guids.h"

namespace vornak {

CaptureEnumMediaTypes::CaptureEnumMediaTypes(CapturePin* pin, const AM_MEDIA_TYPE& snapshot,
                                             std::int32_t position)
    : m_pPin(pin), m_mtSnapshot(snapshot), m_nPosition(position) {
    static_cast<IPin*>(m_pPin)->AddRef();
}

CaptureEnumMediaTypes::~CaptureEnumMediaTypes() {
    static_cast<IPin*>(m_pPin)->Release();
}

HRESULT CaptureEnumMediaTypes::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureEnumMediaTypes::AddRef() {
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG CaptureEnumMediaTypes::Release() {
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(std::max<LONG>(count, 0));
}

std::int32_t CaptureEnumMediaTypes::SequenceLength() const {
    return (m_mtSnapshot.subtype != GUID_NULL ? 1 : 0) + std::max(m_pPin->TypeCount(), 0);
}

const AM_MEDIA_TYPE& CaptureEnumMediaTypes::TypeAt(std::int32_t index) const {
    if (m_mtSnapshot.subtype != GUID_NULL) {
        if (index == 0) {
            return m_mtSnapshot;
        }
        --index;
    }
    return m_pPin->Types()[index];
}

HRESULT CaptureEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                    ULONG* pcFetched) {
    const std::int32_t length = SequenceLength();
    ULONG advanced = 0;
    const HRESULT hr = HandOutMediaTypes(
        cMediaTypes, ppMediaTypes, pcFetched, advanced, [&](ULONG offset) -> const AM_MEDIA_TYPE* {
            const std::int64_t index = static_cast<std::int64_t>(m_nPosition) + offset;
            return index >= 0 && index < length ? &TypeAt(static_cast<std::int32_t>(index))
                                                : nullptr;
        });
    m_nPosition += static_cast<std::int32_t>(advanced);
    return hr;
}

HRESULT CaptureEnumMediaTypes::Skip(ULONG cMediaTypes) {
    const std::int64_t position =
        std::min<std::int64_t>(static_cast<std::int64_t>(m_nPosition) + cMediaTypes, INT32_MAX);
    m_nPosition = static_cast<std::int32_t>(position);
    return m_nPosition > SequenceLength() ? S_FALSE : S_OK;
}

HRESULT CaptureEnumMediaTypes::Reset() {
    m_mtSnapshot.Set(m_pPin->ConnectionType());
    m_nPosition = 0;
    return S_OK;
}

HRESULT CaptureEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* clone = new (std::nothrow) CaptureEnumMediaTypes(m_pPin, m_mtSnapshot, m_nPosition);
    *ppEnum = clone;
    return clone != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vornak
