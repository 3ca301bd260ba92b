#include "CDecoderInputPin.h"

#include "CDecoderFilter.h"
#include "CDecoderOutputPin.h"

namespace vornak {

CDecoderInputPin::CDecoderInputPin(CDecoderFilter* filter)
    : CBaseInputPin("CDecoderInputPin", filter, filter->Lock(), CDecoderFilter::kInputPinName),
      m_pDecoder(filter) {}

HRESULT CDecoderInputPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    return m_pDecoder->CheckInputType(*pmt) == S_OK ? S_OK : S_FALSE;
}

HRESULT CDecoderInputPin::Receive(IMediaSample* pSample) {
    const HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    return m_pDecoder->Receive(pSample);
}

HRESULT CDecoderInputPin::EndOfStream() {
    const HRESULT hr = CBaseInputPin::EndOfStream();
    if (hr != S_OK) {
        return hr;
    }
    return m_pDecoder->EndOfStream();
}

HRESULT CDecoderInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    CDecoderOutputPin* output = m_pDecoder->OutputPin();
    if (output->IsConnected()) {
        output->DeliverBeginFlush();
    }
    return S_OK;
}

HRESULT CDecoderInputPin::EndFlush() {
    m_pDecoder->EndFlush();
    CDecoderOutputPin* output = m_pDecoder->OutputPin();
    if (output->IsConnected()) {
        output->DeliverEndFlush();
    }
    return CBaseInputPin::EndFlush();
}

}  // namespace vornak
