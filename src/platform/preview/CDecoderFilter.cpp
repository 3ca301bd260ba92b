#include "CDecoderFilter.h"

#include "CDecoderInputPin.h"
#include "CDecoderOutputPin.h"
#include "ComPtr.h"

namespace vornak {

CDecoderFilter::CDecoderFilter(const char* objectName, const CLSID& clsid)
    : CBaseFilter(objectName, nullptr, clsid),
      m_pInput(std::make_unique<CDecoderInputPin>(this)),
      m_pOutput(std::make_unique<CDecoderOutputPin>(this)) {}

CDecoderFilter::~CDecoderFilter() {
    m_pOutput.reset();
    m_pInput.reset();
}

CBasePin* CDecoderFilter::GetPin(int n) {
    switch (n) {
        case 0:
            return m_pInput.get();
        case 1:
            return m_pOutput.get();
        default:
            return nullptr;
    }
}

HRESULT CDecoderFilter::Pause() {
    CAutoLock lock(*Lock());
    if (IsStopped()) {
        std::lock_guard stream(m_streamLock);
        const CMediaType output =
            m_pOutput->IsConnected() ? m_pOutput->CurrentMediaType() : CMediaType();
        const HRESULT hr = StartStreaming(output);
        if (Failed(hr)) {
            return hr;
        }
        m_bStreaming = true;
    }
    const HRESULT hr = CBaseFilter::Pause();
    if (Failed(hr)) {
        std::lock_guard stream(m_streamLock);
        if (m_bStreaming) {
            StopStreaming();
            m_bStreaming = false;
        }
    }
    return hr;
}

HRESULT CDecoderFilter::Stop() {
    CAutoLock lock(*Lock());
    const HRESULT hr = CBaseFilter::Stop();
    // The pins are inactive: a Receive still under way finds no output sample and ends soon.
    std::lock_guard stream(m_streamLock);
    if (m_bStreaming) {
        StopStreaming();
        m_bStreaming = false;
    }
    return hr;
}

HRESULT CDecoderFilter::Receive(IMediaSample* pSample) {
    std::uint8_t* data = nullptr;
    HRESULT hr = pSample->GetPointer(&data);
    if (Failed(hr) || data == nullptr) {
        return Failed(hr) ? hr : E_POINTER;
    }
    const LONG length = pSample->GetActualDataLength();
    if (length <= 0 || length > pSample->GetSize()) {
        return S_OK;
    }
    std::optional<REFERENCE_TIME> start;
    REFERENCE_TIME sampleStart = 0;
    REFERENCE_TIME sampleStop = 0;
    if (pSample->GetTime(&sampleStart, &sampleStop) == S_OK) {
        start = sampleStart;
    }
    std::lock_guard stream(m_streamLock);
    if (!m_bStreaming) {
        return VFW_E_WRONG_STATE;
    }
    Decode(std::span<const std::uint8_t>(data, static_cast<std::size_t>(length)), start);
    return S_OK;
}

HRESULT CDecoderFilter::EndOfStream() {
    std::lock_guard stream(m_streamLock);
    if (!m_bStreaming) {
        return VFW_E_WRONG_STATE;
    }
    Drain();
    if (m_pOutput->IsReady()) {
        m_pOutput->DeliverEndOfStream();
    }
    return S_OK;
}

void CDecoderFilter::EndFlush() {
    std::lock_guard stream(m_streamLock);
    if (m_bStreaming) {
        Discard();
    }
}

bool CDecoderFilter::DeliverOutput(const SampleFiller& fill, std::optional<REFERENCE_TIME> start,
                                   std::optional<REFERENCE_TIME> stop) {
    if (!m_pOutput->IsReady()) {
        return false;
    }
    IMediaSample* raw = nullptr;
    if (Failed(m_pOutput->GetDeliveryBuffer(&raw, nullptr, nullptr, AM_GBF_NOWAIT)) ||
        raw == nullptr) {
        m_nDropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    const LONG size = sample->GetSize();
    if (Failed(sample->GetPointer(&buffer)) || buffer == nullptr || size <= 0) {
        return false;
    }
    const std::size_t written =
        fill(std::span<std::uint8_t>(buffer, static_cast<std::size_t>(size)));
    if (written == 0 || written > static_cast<std::size_t>(size)) {
        return true;  // nothing to send: the sample goes back unused
    }
    sample->SetActualDataLength(static_cast<LONG>(written));
    if (start) {
        const REFERENCE_TIME end = stop.value_or(*start);
        sample->SetTime(&*start, &end);
    }
    if (m_pOutput->Deliver(sample.Get()) == S_OK) {
        m_nDelivered.fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

void CDecoderFilter::CountDecodeErrors(std::uint64_t count) {
    m_nErrors.fetch_add(count, std::memory_order_relaxed);
}

}  // namespace vornak
