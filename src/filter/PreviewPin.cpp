#include "PreviewPin.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "Guids.h"
#include "ThreadStart.h"

namespace vornak {

PreviewPin::PreviewPin(CaptureFilter* filter)
    : CBaseOutputPin("PreviewMP2T", filter, nullptr, "PreviewPin"),
      m_pOwner(filter),
      m_pQueueLock(std::make_unique<CCriticalSection>()),
      m_pDataEvent(std::make_unique<ManualResetEvent>("ReceiveSamplePreview")) {}

PreviewPin::~PreviewPin() {
    {
        std::lock_guard control(m_threadControl);
        {
            CAutoLock lock(*m_pQueueLock);
            m_bRunning.store(0, std::memory_order_release);
            m_pDataEvent->Set();
        }
        // A thread waiting for an empty sample wakes up when the allocator is decommitted.
        if (m_pAllocator) {
            m_pAllocator->Decommit();
        }
        if (m_pThread) {
            m_pThread->join();
            m_pThread.reset();
        }
        JoinRetiredThread();
    }
    CAutoLock lock(*m_pQueueLock);
    m_queue.clear();
}

HRESULT PreviewPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT PreviewPin::GetMediaType(int position, CMediaType* pmt) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *pmt = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    return S_OK;
}

HRESULT PreviewPin::CheckMediaType(const CMediaType* pmt) {
    return pmt != nullptr && pmt->majortype == MEDIATYPE_Stream &&
                   pmt->subtype == MEDIASUBTYPE_MPEG2_TRANSPORT
               ? S_OK
               : S_FALSE;
}

HRESULT PreviewPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    pRequest->cBuffers = kBufferCount;
    pRequest->cbBuffer = kBufferSize;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (Failed(hr)) {
        return hr;
    }
    return actual.cbBuffer < kBufferSize ? E_FAIL : S_OK;
}

void PreviewPin::JoinRetiredThread() {
    if (m_pRetiredThread) {
        m_pRetiredThread->join();
        m_pRetiredThread.reset();
    }
}

HRESULT PreviewPin::Active() {
    std::lock_guard control(m_threadControl);
    // A thread that the last Inactive told to stop may not have looked yet; were a new one
    // started now, both would take chunks. It has been woken, so this wait is short.
    JoinRetiredThread();

    m_nDropped.store(0, std::memory_order_relaxed);
    const HRESULT hr = CBaseOutputPin::Active();
    if (Failed(hr)) {
        return hr;
    }
    CAutoLock lock(*m_pQueueLock);
    CapturePin* capturePin = m_pOwner->GetCapturePin();
    capturePin->SetPreviewPin(this);
    capturePin->SetPreview(true);
    if (!m_pThread) {
        m_queue.clear();  // left from before the last Inactive: old pictures
        m_bRunning.store(1, std::memory_order_release);
        m_nThreads.fetch_add(1, std::memory_order_acq_rel);
        m_pThread = std::make_unique<std::thread>(StartThread(ThreadPriority::Lowest, [this] {
            PreviewThreadProc(this);
            m_nThreads.fetch_sub(1, std::memory_order_acq_rel);
        }));
    }
    m_pDataEvent->Reset();
    return hr;
}

HRESULT PreviewPin::Inactive() {
    {
        std::lock_guard control(m_threadControl);
        if (m_pThread) {
            // Active joins the one left behind before it starts another, so this is only ever
            // an ended thread: at most one waits for a join.
            JoinRetiredThread();
        }
        CAutoLock lock(*m_pQueueLock);
        m_pOwner->GetCapturePin()->SetPreview(false);
        if (m_pThread) {
            m_pRetiredThread = std::move(m_pThread);
        }
        m_bRunning.store(0, std::memory_order_release);
        m_pDataEvent->Set();
    }
    return CBaseOutputPin::Inactive();
}

void PreviewPin::QueueChunk(std::unique_ptr<SampleChunk> chunk) {
    CAutoLock lock(*m_pQueueLock);
    if (m_queue.size() > kQueueLimit) {
        m_nDropped.fetch_add(static_cast<std::uint32_t>(m_queue.size()), std::memory_order_relaxed);
        m_queue.clear();
    }
    m_queue.push_front(std::move(chunk));
    m_pDataEvent->Set();
}

std::size_t PreviewPin::QueuedChunks() const {
    CAutoLock lock(*m_pQueueLock);
    return m_queue.size();
}

int PreviewPin::PreviewThreadProc(PreviewPin* pin) {
    if (pin == nullptr || pin->m_bRunning.load(std::memory_order_acquire) == 0) {
        return 0;
    }
    while (pin->m_bRunning.load(std::memory_order_acquire) != 0) {
        pin->m_pDataEvent->Wait();
        std::unique_lock<CCriticalSection> lock(*pin->m_pQueueLock);
        pin->m_pDataEvent->Reset();
        ChunkQueue& queue = pin->m_queue;
        while (!queue.empty() && pin->m_bRunning.load(std::memory_order_acquire) != 0) {
            if (queue.size() > kCatchUpLimit) {
                // Fell behind: only the newest chunk (at the front) is still worth showing.
                pin->m_nDropped.fetch_add(static_cast<std::uint32_t>(queue.size() - 1),
                                          std::memory_order_relaxed);
                queue.erase(queue.begin() + 1, queue.end());
            }
            std::unique_ptr<SampleChunk> chunk = std::move(queue.back());
            queue.pop_back();
            lock.unlock();
            pin->DeliverChunk(*chunk);
            chunk.reset();
            lock.lock();
        }
    }
    return 0;
}

void PreviewPin::DeliverChunk(const SampleChunk& chunk) {
    IMediaSample* raw = nullptr;
    if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, AM_GBF_NOTASYNCPOINT)) || raw == nullptr) {
        return;  // no sample: this chunk is skipped, uncounted
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    if (Failed(sample->GetPointer(&buffer)) || buffer == nullptr) {
        return;
    }
    const LONG size = std::max<LONG>(sample->GetSize(), 0);
    const LONG copied = std::min<LONG>(std::max(chunk.cbData, 0), size);
    if (copied > 0) {
        std::memcpy(buffer, chunk.pData.get(), static_cast<std::size_t>(copied));
    }
    // The downstream filter learns how much of the buffer is stream.
    sample->SetActualDataLength(copied);
    (void)Deliver(sample.Get());
}

}  // namespace vornak
