// The base of output pins: on connection it agrees an allocator with the input pin (the input
// pin's own, else a memory allocator of ours) sized by DecideBufferSize; while active it hands
// out empty samples (GetDeliveryBuffer) and pushes filled ones downstream (Deliver).
#pragma once

#include "CBasePin.h"

namespace vornak {

class CBaseOutputPin : public CBasePin {
  public:
    CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
                   std::string pinName);
    ~CBaseOutputPin() override;

    // Output pins take no samples.
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    // Also asks the peer for its sample interface.
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    // Commits the allocator; VFW_E_NO_ALLOCATOR when the pin has none (not connected).
    HRESULT Active() override;
    HRESULT Inactive() override;

    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc);
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);
    // Sets the wanted buffers on the allocator (SetProperties) and checks what it granted.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) = 0;
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // Into the connected input pin's Receive.
    virtual HRESULT Deliver(IMediaSample* pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

  protected:
    ComPtr<IMemAllocator> m_pAllocator;
    ComPtr<IMemInputPin> m_pInputPin;
};

}  // namespace vornak
