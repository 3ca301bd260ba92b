#include "CBaseOutputPin.h"

#include "CMemAllocator.h"
#include "Guids.h"

namespace vornak {

CBaseOutputPin::CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
                               std::string pinName)
    : CBasePin(objectName, filter, lock, std::move(pinName), PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
    }
}

HRESULT CBaseOutputPin::EndOfStream() {
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::BeginFlush() {
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::EndFlush() {
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin) {
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (Failed(hr)) {
        return hr;
    }
    hr = pPin->QueryInterface(IID_IMemInputPin, m_pInputPin.ReceiveVoid());
    return Failed(hr) ? E_NOINTERFACE : S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
    return DecideAllocator(m_pInputPin.Get(), m_pAllocator.Receive());
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator.Reset();
    }
    m_pInputPin.Reset();
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) {
    *ppAlloc = nullptr;
    ALLOCATOR_PROPERTIES request;
    pPin->GetAllocatorRequirements(&request);  // a pin without wishes leaves it zero
    if (request.cbAlign == 0) {
        request.cbAlign = 1;
    }

    // The input pin's own allocator first.
    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (Succeeded(hr)) {
        hr = DecideBufferSize(*ppAlloc, &request);
        if (Succeeded(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, 0);
            if (Succeeded(hr)) {
                return S_OK;
            }
        }
    }
    if (*ppAlloc != nullptr) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }

    hr = InitAllocator(ppAlloc);
    if (Succeeded(hr)) {
        hr = DecideBufferSize(*ppAlloc, &request);
        if (Succeeded(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, 0);
            if (Succeeded(hr)) {
                return S_OK;
            }
        }
    }
    if (*ppAlloc != nullptr) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    return hr;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc) {
    return HandOut(static_cast<IMemAllocator*>(new CMemAllocator()), ppAlloc);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    if (!m_pAllocator) {
        return E_NOINTERFACE;
    }
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample) {
    if (!m_pInputPin) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::Active() {
    if (!m_pAllocator) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (!m_pAllocator) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    if (!m_Connected) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    if (!m_Connected) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    if (!m_Connected) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                          double dRate) {
    if (!m_Connected) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->NewSegment(tStart, tStop, dRate);
}

}  // namespace vornak
