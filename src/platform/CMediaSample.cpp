#include "CMediaSample.h"

#include "Guids.h"

namespace vornak {

CMediaSample::CMediaSample(IMemAllocator* allocator, std::uint8_t* buffer, LONG size)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(size), m_lActual(size) {}

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        return GetInterface(static_cast<IMediaSample*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() {
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG CMediaSample::Release() {
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(count < 0 ? 0 : count);
}

HRESULT CMediaSample::GetPointer(std::uint8_t** ppBuffer) {
    if (ppBuffer == nullptr) {
        return E_POINTER;
    }
    *ppBuffer = m_pBuffer;
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (pTimeStart == nullptr || pTimeEnd == nullptr) {
        return E_POINTER;
    }
    if (!m_bHasTimes) {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    *pTimeStart = m_tStart;
    *pTimeEnd = m_tEnd;
    return S_OK;
}

HRESULT CMediaSample::SetTime(const REFERENCE_TIME* pTimeStart, const REFERENCE_TIME* pTimeEnd) {
    m_bHasTimes = pTimeStart != nullptr && pTimeEnd != nullptr;
    if (m_bHasTimes) {
        m_tStart = *pTimeStart;
        m_tEnd = *pTimeEnd;
    }
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > m_cbBuffer) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    m_lActual = length;
    return S_OK;
}

HRESULT CMediaSample::SetDiscontinuity(bool discontinuity) {
    m_bDiscontinuity = discontinuity;
    return S_OK;
}

void CMediaSample::Prepare() {
    m_cRef.store(1, std::memory_order_relaxed);
    m_lActual = m_cbBuffer;
    m_bHasTimes = false;
    m_bDiscontinuity = false;
}

}  // namespace vornak
