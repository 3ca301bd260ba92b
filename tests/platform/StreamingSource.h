// A source filter with a streaming thread of its own, as a camcorder has: while its pin is
// active it delivers samples into the connected input pin and reports each delivery to its
// graph through NotifyEvent. Deliveries refused because the receiver was stopped are counted,
// so that a test can tell whether the graph ever let the source run into a stopped filter.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "CBaseFilter.h"
#include "CBaseOutputPin.h"
#include "Guids.h"

namespace vornak::test {

class StreamingSourcePin : public CBaseOutputPin {
  public:
    static constexpr LONG kSampleSize = 192;
    static constexpr LONG kBufferCount = 2;
    static constexpr LONG kDeliveredEvent = 0x8000;  // EC_USER: one per delivered sample
    static constexpr auto kPace = std::chrono::microseconds(200);

    explicit StreamingSourcePin(CBaseFilter* filter)
        : CBaseOutputPin("StreamingSourcePin", filter, nullptr, "Out"), m_pOwner(filter) {}
    ~StreamingSourcePin() override { EndThread(); }

    HRESULT GetMediaType(int position, CMediaType* pmt) override {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *pmt = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
        return S_OK;
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override {
        pRequest->cBuffers = kBufferCount;
        pRequest->cbBuffer = kSampleSize;
        ALLOCATOR_PROPERTIES actual;
        return pAlloc->SetProperties(pRequest, &actual);
    }
    HRESULT Active() override {
        const HRESULT hr = CBaseOutputPin::Active();
        if (Succeeded(hr)) {
            m_bStop.store(false, std::memory_order_release);
            m_thread = std::thread([this] { Stream(); });
        }
        return hr;
    }
    HRESULT Inactive() override {
        EndThread();
        return CBaseOutputPin::Inactive();
    }

    std::atomic<int> delivered{0};
    std::atomic<int> refusedAsStopped{0};

  private:
    void Stream() {
        while (!m_bStop.load(std::memory_order_acquire)) {
            IMediaSample* sample = nullptr;
            if (Failed(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
                break;  // decommitted: the pin is going inactive
            }
            sample->SetActualDataLength(kSampleSize);
            const HRESULT hr = Deliver(sample);
            sample->Release();
            if (hr == VFW_E_WRONG_STATE) {
                refusedAsStopped.fetch_add(1, std::memory_order_relaxed);
            } else if (hr == S_OK) {
                const int count = delivered.fetch_add(1, std::memory_order_relaxed) + 1;
                m_pOwner->NotifyEvent(kDeliveredEvent, count, 0);
            }
            std::this_thread::sleep_for(kPace);
        }
    }
    void EndThread() {
        m_bStop.store(true, std::memory_order_release);
        if (m_pAllocator) {
            m_pAllocator->Decommit();  // wakes a wait for an empty sample
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    CBaseFilter* m_pOwner;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

class StreamingSource : public CBaseFilter {
  public:
    StreamingSource()
        : CBaseFilter("StreamingSource", nullptr, GUID_NULL),
          m_pPin(std::make_unique<StreamingSourcePin>(this)) {
        Live().fetch_add(1, std::memory_order_relaxed);
    }
    ~StreamingSource() override {
        m_pPin.reset();
        Live().fetch_sub(1, std::memory_order_relaxed);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin.get() : nullptr; }
    StreamingSourcePin* Pin() const { return m_pPin.get(); }

    static std::atomic<int>& Live() {
        static std::atomic<int> live{0};
        return live;
    }

  private:
    std::unique_ptr<StreamingSourcePin> m_pPin;
};

}  // namespace vornak::test
