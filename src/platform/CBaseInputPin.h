// The base of input pins: samples arrive through IMemInputPin::Receive on the upstream
// filter's streaming thread. The pin offers an allocator of its own unless told otherwise,
// and refuses samples while stopped, unconnected or flushing.
#pragma once

#include <atomic>

#include "CBasePin.h"

namespace vornak {

class CBaseInputPin : public CBasePin, public IMemInputPin {
  public:
    CBaseInputPin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
                  std::string pinName);
    ~CBaseInputPin() override;

    // One answer for both faces: IUnknown and IPin give the IPin pointer, IMemInputPin its own.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // A memory allocator, made on first demand.
    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, std::int32_t bReadOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    // The base only checks that streaming is allowed.
    HRESULT Receive(IMediaSample* pSample) override;
    // Receive for each sample in order, up to the first result other than S_OK.
    HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                            LONG* nSamplesProcessed) override;
    HRESULT ReceiveCanBlock() override;

    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT EndOfStream() override;

    HRESULT Inactive() override;
    HRESULT BreakConnect() override;

    // S_OK while samples may be received; S_FALSE while flushing.
    virtual HRESULT CheckStreaming();
    bool IsFlushing() const { return m_bFlushing.load(std::memory_order_acquire); }

  protected:
    ComPtr<IMemAllocator> m_pAllocator;
    bool m_bReadOnly = false;
    std::atomic<bool> m_bFlushing{false};
};

}  // namespace vornak
