#include "CMpeg2DemuxOutputPin.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "CMpeg2Demultiplexer.h"
#include "ComPtr.h"
#include "DifConstants.h"
#include "Guids.h"
#include "Pids.h"

namespace vornak {
namespace {

bool SameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
    if (a.formattype != b.formattype || a.cbFormat != b.cbFormat) {
        return false;
    }
    return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

// A sample's end time: the demultiplexer knows only where a payload starts.
constexpr REFERENCE_TIME kSampleDuration = 1;

static_assert(CMpeg2DemuxOutputPin::kDvFrameBufferSize >= static_cast<LONG>(dv::kMaxFrameSize));

}  // namespace

CMpeg2DemuxOutputPin::CMpeg2DemuxOutputPin(CMpeg2Demultiplexer* filter, const AM_MEDIA_TYPE& type,
                                           std::string name)
    : CBaseOutputPin("CMpeg2DemuxOutputPin", filter, filter->Lock(), std::move(name)),
      m_pDemux(filter),
      m_offered(type) {}

HRESULT CMpeg2DemuxOutputPin::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CMpeg2DemuxOutputPin::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CMpeg2DemuxOutputPin::Release() {
    return NonDelegatingRelease();
}

HRESULT CMpeg2DemuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IMPEG2PIDMap) {
        return GetInterface(static_cast<IMPEG2PIDMap*>(this), ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMpeg2DemuxOutputPin::MapPID(ULONG culPID, const ULONG* pulPID,
                                     MEDIA_SAMPLE_CONTENT MediaSampleContent) {
    if (culPID > 0 && pulPID == nullptr) {
        return E_POINTER;
    }
    if (MediaSampleContent != MEDIA_ELEMENTARY_STREAM) {
        return E_INVALIDARG;  // only elementary streams are wanted by the preview
    }
    const std::span<const ULONG> pids(pulPID, culPID);
    if (std::any_of(pids.begin(), pids.end(), [](ULONG pid) { return pid > PID_MAX; })) {
        return E_INVALIDARG;
    }
    m_pDemux->MapPids(pids, this);
    return S_OK;
}

HRESULT CMpeg2DemuxOutputPin::UnmapPID(ULONG culPID, const ULONG* pulPID) {
    if (culPID > 0 && pulPID == nullptr) {
        return E_POINTER;
    }
    m_pDemux->UnmapPids(std::span<const ULONG>(pulPID, culPID), this);
    return S_OK;
}

HRESULT CMpeg2DemuxOutputPin::GetMediaType(int position, CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return pmt->Set(m_offered);
}

HRESULT CMpeg2DemuxOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    return pmt->majortype == m_offered.majortype && pmt->subtype == m_offered.subtype &&
                   SameFormat(*pmt, m_offered)
               ? S_OK
               : S_FALSE;
}

HRESULT CMpeg2DemuxOutputPin::DecideBufferSize(IMemAllocator* pAlloc,
                                               ALLOCATOR_PROPERTIES* pRequest) {
    LONG wanted = kOtherBufferSize;
    if (m_offered.majortype == MEDIATYPE_Video) {
        wanted = std::max(kVideoBufferSize, kDvFrameBufferSize);
    } else if (m_offered.majortype == MEDIATYPE_Audio) {
        wanted = std::max(kOtherBufferSize, kDvFrameBufferSize);
    }
    pRequest->cBuffers = std::max(pRequest->cBuffers, kBufferCount);
    pRequest->cbBuffer = std::max(pRequest->cbBuffer, wanted);
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (Failed(hr)) {
        return hr;
    }
    // Payloads are split over samples, so any size works; none does not.
    return actual.cBuffers > 0 && actual.cbBuffer > 0 ? S_OK : E_FAIL;
}

HRESULT CMpeg2DemuxOutputPin::CheckConnect(IPin* pPin) {
    std::lock_guard lock(m_pDemux->StreamLock());
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CMpeg2DemuxOutputPin::CompleteConnect(IPin* pReceivePin) {
    std::lock_guard lock(m_pDemux->StreamLock());
    const HRESULT hr = CBaseOutputPin::CompleteConnect(pReceivePin);
    m_bReady = Succeeded(hr) && m_pAllocator && m_pInputPin;
    return hr;
}

HRESULT CMpeg2DemuxOutputPin::BreakConnect() {
    std::lock_guard lock(m_pDemux->StreamLock());
    m_bReady = false;
    return CBaseOutputPin::BreakConnect();
}

void CMpeg2DemuxOutputPin::DeliverPayload(std::span<const std::uint8_t> payload,
                                          std::optional<REFERENCE_TIME> start) {
    if (!m_bReady || payload.empty()) {
        return;
    }
    // Every sample first, so that a payload goes out whole or not at all.
    std::vector<ComPtr<IMediaSample>> samples;
    std::size_t capacity = 0;
    while (capacity < payload.size()) {
        IMediaSample* raw = nullptr;
        if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, AM_GBF_NOWAIT)) || raw == nullptr ||
            raw->GetSize() <= 0) {
            if (raw != nullptr) {
                raw->Release();
            }
            m_nDropped.fetch_add(1, std::memory_order_relaxed);
            m_pDemux->Statistics().droppedPes.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        samples.push_back(ComPtr<IMediaSample>::Attach(raw));
        capacity += static_cast<std::size_t>(raw->GetSize());
    }

    std::size_t offset = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        IMediaSample* sample = samples[i].Get();
        std::uint8_t* buffer = nullptr;
        if (Failed(sample->GetPointer(&buffer)) || buffer == nullptr) {
            return;
        }
        const std::size_t piece =
            std::min(payload.size() - offset, static_cast<std::size_t>(sample->GetSize()));
        std::memcpy(buffer, payload.data() + offset, piece);
        offset += piece;
        sample->SetActualDataLength(static_cast<LONG>(piece));
        if (i == 0 && start) {
            const REFERENCE_TIME end = *start + kSampleDuration;
            sample->SetTime(&*start, &end);
        }
        if (Deliver(sample) != S_OK) {
            return;  // downstream stopped or refused: the rest would make no sense alone
        }
    }
    m_nDelivered.fetch_add(1, std::memory_order_relaxed);
    m_pDemux->Statistics().deliveredPes.fetch_add(1, std::memory_order_relaxed);
}

void CMpeg2DemuxOutputPin::DeliverWhole(std::span<const std::uint8_t> data, REFERENCE_TIME start,
                                        REFERENCE_TIME stop) {
    if (!m_bReady || data.empty()) {
        return;
    }
    IMediaSample* raw = nullptr;
    if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, AM_GBF_NOWAIT)) || raw == nullptr) {
        m_nDropped.fetch_add(1, std::memory_order_relaxed);
        m_pDemux->Statistics().droppedPes.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    if (Failed(sample->GetPointer(&buffer)) || buffer == nullptr ||
        static_cast<std::size_t>(std::max<LONG>(sample->GetSize(), 0)) < data.size()) {
        // Cut over two samples it would no longer be known for a whole frame.
        m_nDropped.fetch_add(1, std::memory_order_relaxed);
        m_pDemux->Statistics().droppedPes.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memcpy(buffer, data.data(), data.size());
    sample->SetActualDataLength(static_cast<LONG>(data.size()));
    sample->SetTime(&start, &stop);
    if (Deliver(sample.Get()) == S_OK) {
        m_nDelivered.fetch_add(1, std::memory_order_relaxed);
        m_pDemux->Statistics().deliveredPes.fetch_add(1, std::memory_order_relaxed);
    }
}

void CMpeg2DemuxOutputPin::DeliverEndOfStreamLocked() {
    if (m_bReady) {
        DeliverEndOfStream();
    }
}

}  // namespace vornak
