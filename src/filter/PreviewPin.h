// The capture filter's output pin: passes the received transport stream on to the preview
// branch. The capture pin hands it every chunk; a delivery thread at the lowest priority copies
// them into samples and delivers them downstream. Preview is best effort: when delivery falls
// behind, the pin skips ahead to the newest data and counts what it skipped.
//
// Threads: QueueChunk on the upstream streaming thread; the delivery thread; Active and
// Inactive on the graph's thread or the capture page's. The queue lock guards the queue and
// the counter's updates; it is never held while waiting for a sample or delivering.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "CBaseOutputPin.h"
#include "ManualResetEvent.h"
#include "SampleChunk.h"

namespace vornak {

class CaptureFilter;

class PreviewPin : public CBaseOutputPin {
  public:
    static constexpr LONG kBufferCount = 10;
    // A whole DV frame (625/50) goes out as one sample, so DV reaches the decoder frame by frame.
    static constexpr LONG kBufferSize = 144000;
    static constexpr std::size_t kQueueLimit = 256;   // more waiting when one arrives: drop all
    static constexpr std::size_t kCatchUpLimit = 32;  // more waiting when delivering: skip ahead

    explicit PreviewPin(CaptureFilter* filter);
    // Waits for the delivery thread to end.
    ~PreviewPin() override;

    // E_POINTER for a null result, otherwise the base pin's answer.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // One type: a transport stream, without a format block.
    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // Ten buffers of kBufferSize bytes; E_FAIL when the allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // Switches delivery on: by the filter leaving the stopped state, or by the capture page.
    // Starts a delivery thread unless one runs since the last Inactive.
    HRESULT Active() override;
    // Switches delivery off. Does not wait for the thread; the next Active does.
    HRESULT Inactive() override;

    // Takes the chunk; the newest goes to the front.
    void QueueChunk(std::unique_ptr<SampleChunk> chunk);

    // Chunks discarded because delivery fell behind, since the last Active.
    std::uint32_t Dropped() const { return m_nDropped.load(std::memory_order_relaxed); }
    std::size_t QueuedChunks() const;
    // Delivery threads started and not yet ended.
    int DeliveryThreads() const { return m_nThreads.load(std::memory_order_acquire); }

  private:
    static int PreviewThreadProc(PreviewPin* pin);
    void DeliverChunk(const SampleChunk& chunk);
    // Joins the thread that the last Inactive left behind, if any.
    void JoinRetiredThread();

    CaptureFilter* m_pOwner;
    std::unique_ptr<std::thread> m_pThread;  // null when none started since the last Inactive
    ChunkQueue m_queue;
    std::atomic<std::uint32_t> m_nDropped{0};
    std::atomic<std::uint8_t> m_bRunning{0};
    std::unique_ptr<CCriticalSection> m_pQueueLock;
    std::unique_ptr<ManualResetEvent> m_pDataEvent;

    // Thread handles belong to the controlling calls (Active, Inactive, the destructor).
    std::mutex m_threadControl;
    std::unique_ptr<std::thread> m_pRetiredThread;
    std::atomic<int> m_nThreads{0};
};

}  // namespace vornak
