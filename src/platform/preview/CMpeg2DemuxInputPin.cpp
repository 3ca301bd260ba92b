#include "CMpeg2DemuxInputPin.h"

#include "CBaseOutputPin.h"
#include "CMpeg2Demultiplexer.h"
#include "Guids.h"

namespace vornak {

CMpeg2DemuxInputPin::CMpeg2DemuxInputPin(CMpeg2Demultiplexer* filter)
    : CBaseInputPin("CMpeg2DemuxInputPin", filter, filter->Lock(),
                    CMpeg2Demultiplexer::kInputPinName),
      m_pDemux(filter) {}

HRESULT CMpeg2DemuxInputPin::CheckMediaType(const CMediaType* pmt) {
    return pmt != nullptr && pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT CMpeg2DemuxInputPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    std::uint8_t* data = nullptr;
    hr = pSample->GetPointer(&data);
    if (Failed(hr) || data == nullptr) {
        return Failed(hr) ? hr : E_POINTER;
    }
    const LONG length = pSample->GetActualDataLength();
    const LONG size = pSample->GetSize();
    if (length <= 0 || length > size) {
        return S_OK;  // nothing (believable) in it
    }
    m_pDemux->ProcessStream(std::span<const std::uint8_t>(data, static_cast<std::size_t>(length)));
    return S_OK;
}

HRESULT CMpeg2DemuxInputPin::EndOfStream() {
    const HRESULT hr = CBaseInputPin::EndOfStream();
    if (hr != S_OK) {
        return hr;
    }
    m_pDemux->EndOfStream();
    return S_OK;
}

HRESULT CMpeg2DemuxInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    for (int i = 1; CBasePin* pin = m_pDemux->GetPin(i); ++i) {
        if (pin->IsConnected()) {
            static_cast<CBaseOutputPin*>(pin)->DeliverBeginFlush();
        }
    }
    return S_OK;
}

HRESULT CMpeg2DemuxInputPin::EndFlush() {
    // Whatever was half gathered belongs to the stream before the flush.
    m_pDemux->ResetStreams();
    for (int i = 1; CBasePin* pin = m_pDemux->GetPin(i); ++i) {
        if (pin->IsConnected()) {
            static_cast<CBaseOutputPin*>(pin)->DeliverEndFlush();
        }
    }
    return CBaseInputPin::EndFlush();
}

}  // namespace vornak
