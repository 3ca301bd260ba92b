#include "CBaseInputPin.h"

#include "CBaseFilter.h"
#include "CMemAllocator.h"
#include "Guids.h"

namespace vornak {

CBaseInputPin::CBaseInputPin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
                             std::string pinName)
    : CBasePin(objectName, filter, lock, std::move(pinName), PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() = default;

HRESULT CBaseInputPin::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBaseInputPin::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CBaseInputPin::Release() {
    return NonDelegatingRelease();
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IMemInputPin) {
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    if (ppAllocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    if (!m_pAllocator) {
        m_pAllocator = ComPtr<IMemAllocator>(new CMemAllocator());
    }
    return HandOut(m_pAllocator.Get(), ppAllocator);
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, std::int32_t bReadOnly) {
    if (pAllocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    m_pAllocator = ComPtr<IMemAllocator>(pAllocator);
    m_bReadOnly = bReadOnly != 0;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::Receive(IMediaSample* pSample) {
    if (pSample == nullptr) {
        return E_POINTER;
    }
    return CheckStreaming();
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                       LONG* nSamplesProcessed) {
    if (pSamples == nullptr || nSamplesProcessed == nullptr) {
        return E_POINTER;
    }
    *nSamplesProcessed = 0;
    HRESULT hr = S_OK;
    for (LONG i = 0; i < nSamples; ++i) {
        hr = Receive(pSamples[i]);
        if (hr != S_OK) {
            break;
        }
        ++*nSamplesProcessed;
    }
    return hr;
}

HRESULT CBaseInputPin::ReceiveCanBlock() {
    return S_OK;
}

HRESULT CBaseInputPin::BeginFlush() {
    m_bFlushing.store(true, std::memory_order_release);
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
    m_bFlushing.store(false, std::memory_order_release);
    return S_OK;
}

HRESULT CBaseInputPin::EndOfStream() {
    return CheckStreaming();
}

HRESULT CBaseInputPin::Inactive() {
    m_bFlushing.store(false, std::memory_order_release);
    if (!m_pAllocator) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::BreakConnect() {
    m_pAllocator.Reset();
    return S_OK;
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (IsFlushing()) {
        return S_FALSE;
    }
    return S_OK;
}

}  // namespace vornak
