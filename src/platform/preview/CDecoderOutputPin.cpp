#include "CDecoderOutputPin.h"

#include <cstring>

#include "CDecoderFilter.h"
#include "CDecoderInputPin.h"

namespace vornak {

CDecoderOutputPin::CDecoderOutputPin(CDecoderFilter* filter)
    : CBaseOutputPin("CDecoderOutputPin", filter, filter->Lock(), CDecoderFilter::kOutputPinName),
      m_pDecoder(filter) {}

HRESULT CDecoderOutputPin::GetMediaType(int position, CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    CDecoderInputPin* input = m_pDecoder->InputPin();
    if (position != 0 || !input->IsConnected()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return m_pDecoder->MakeOutputType(input->CurrentMediaType(), *pmt);
}

HRESULT CDecoderOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    CMediaType offered;
    if (GetMediaType(0, &offered) != S_OK) {
        return S_FALSE;
    }
    const bool same =
        pmt->majortype == offered.majortype && pmt->subtype == offered.subtype &&
        pmt->formattype == offered.formattype && pmt->cbFormat == offered.cbFormat &&
        (pmt->cbFormat == 0 || std::memcmp(pmt->pbFormat, offered.pbFormat, pmt->cbFormat) == 0);
    return same ? S_OK : S_FALSE;
}

HRESULT CDecoderOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    const ALLOCATOR_PROPERTIES wanted = m_pDecoder->OutputBuffers(m_mt);
    pRequest->cBuffers = wanted.cBuffers;
    pRequest->cbBuffer = wanted.cbBuffer;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (Failed(hr)) {
        return hr;
    }
    return actual.cBuffers >= 1 && actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT CDecoderOutputPin::CheckConnect(IPin* pPin) {
    std::lock_guard stream(m_pDecoder->StreamLock());
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CDecoderOutputPin::CompleteConnect(IPin* pReceivePin) {
    std::lock_guard stream(m_pDecoder->StreamLock());
    const HRESULT hr = CBaseOutputPin::CompleteConnect(pReceivePin);
    m_bReady = Succeeded(hr) && m_pAllocator && m_pInputPin;
    return hr;
}

HRESULT CDecoderOutputPin::BreakConnect() {
    std::lock_guard stream(m_pDecoder->StreamLock());
    m_bReady = false;
    return CBaseOutputPin::BreakConnect();
}

}  // namespace vornak
