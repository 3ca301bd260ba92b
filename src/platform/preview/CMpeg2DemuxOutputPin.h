// An output pin of the demultiplexer: offers exactly the type it was made with, answers
// IMPEG2PIDMap, and delivers the payloads of the PES packets routed to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "CBaseOutputPin.h"
#include "PreviewInterfaces.h"
#include "StreamInterfaces.h"

namespace vornak {

class CMpeg2Demultiplexer;

class CMpeg2DemuxOutputPin : public CBaseOutputPin, public IMPEG2PIDMap {
  public:
    // A picture of an HDV camcorder fits one video sample; sound PES packets are small.
    static constexpr LONG kVideoBufferSize = 512 * 1024;
    static constexpr LONG kOtherBufferSize = 64 * 1024;
    // Video and sound pins also carry whole DV frames, one a sample.
    static constexpr LONG kDvFrameBufferSize = 144'000;
    static constexpr LONG kBufferCount = 4;

    // `type` is copied.
    CMpeg2DemuxOutputPin(CMpeg2Demultiplexer* filter, const AM_MEDIA_TYPE& type, std::string name);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // The pin's interfaces and IMPEG2PIDMap.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Only MEDIA_ELEMENTARY_STREAM; E_INVALIDARG for a PID past PID_MAX (nothing is mapped then).
    HRESULT MapPID(ULONG culPID, const ULONG* pulPID,
                   MEDIA_SAMPLE_CONTENT MediaSampleContent) override;
    // PIDs routed elsewhere or nowhere are left alone.
    HRESULT UnmapPID(ULONG culPID, const ULONG* pulPID) override;

    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    // The pin's own type, format block included, and nothing else.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;

    // With the filter's stream lock held: one PES payload, split over as many samples as it
    // needs, all of which must be free at once or the payload is dropped. The first sample
    // carries the time; `start` is in 100 ns units.
    void DeliverPayload(std::span<const std::uint8_t> payload, std::optional<REFERENCE_TIME> start);
    // With the filter's stream lock held: `data` in one sample, or dropped and counted when no
    // sample big enough is free at once.
    void DeliverWhole(std::span<const std::uint8_t> data, REFERENCE_TIME start,
                      REFERENCE_TIME stop);
    // With the filter's stream lock held.
    void DeliverEndOfStreamLocked();

    const CMediaType& OfferedType() const { return m_offered; }
    std::uint64_t Delivered() const { return m_nDelivered.load(std::memory_order_relaxed); }
    std::uint64_t Dropped() const { return m_nDropped.load(std::memory_order_relaxed); }

  private:
    CMpeg2Demultiplexer* m_pDemux;
    const CMediaType m_offered;
    // Set while connected with an allocator; read on the streaming thread under the stream lock.
    bool m_bReady = false;
    std::atomic<std::uint64_t> m_nDelivered{0};
    std::atomic<std::uint64_t> m_nDropped{0};
};

}  // namespace vornak
