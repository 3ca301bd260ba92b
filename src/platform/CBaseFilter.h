// The base of filters: reference counting, the stopped/paused/running state machine that
// activates and deactivates connected pins, the reference clock, graph membership.
//
// A filter describes its pins through GetPinCount and GetPin. Leaving the stopped state calls
// Active on every pin that is connected, entering it calls Inactive; Run calls Run on them.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "CUnknown.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "StreamInterfaces.h"

namespace vornak {

class CBasePin;
class IMediaEventSink;

class CBaseFilter : public CUnknown, public IBaseFilter {
  public:
    // `lock` guards the state; null makes the filter create a lock of its own.
    CBaseFilter(const char* objectName, CCriticalSection* lock, const CLSID& clsid);
    ~CBaseFilter() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown, IPersist, IMediaFilter and IBaseFilter: the IBaseFilter pointer.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

    // Every pin of GetPin, in order, through a pin enumerator.
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    // The pin whose QueryId equals `id`.
    HRESULT FindPin(const std::string& id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    // Keeps the graph's event sink (not referenced) for NotifyEvent; a null graph drops it,
    // waiting for a NotifyEvent in progress to return first.
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, const std::string& name) override;
    HRESULT QueryVendorInfo(std::string* vendorInfo) override;

    virtual int GetPinCount() = 0;
    // No reference added; null past the last pin.
    virtual CBasePin* GetPin(int n) = 0;
    virtual LONG GetPinVersion() { return 1; }
    // The clock's time less the stream's start time.
    virtual HRESULT StreamTime(REFERENCE_TIME& rtStream);

    // Readable from any thread, streaming threads included.
    FILTER_STATE State() const { return m_State.load(std::memory_order_acquire); }
    bool IsStopped() const { return State() == State_Stopped; }
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }
    // Passes an event to the graph's event sink; S_FALSE outside a graph. Callable from any
    // thread, streaming threads included: it does not take the filter's lock.
    HRESULT NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2);
    CCriticalSection* Lock() const { return m_pLock; }

  protected:
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    ComPtr<IReferenceClock> m_pClock;
    REFERENCE_TIME m_tStart = 0;
    CLSID m_clsid;
    IFilterGraph* m_pGraph = nullptr;  // not referenced: the graph holds its filters
    std::string m_name;                // given by the graph

  private:
    std::unique_ptr<CCriticalSection> m_pOwnLock;
    CCriticalSection* m_pLock;
    // Guards m_pSink apart from the filter lock: a streaming thread notifies while Stop may
    // hold the filter lock waiting for that very thread to end.
    std::mutex m_sinkLock;
    IMediaEventSink* m_pSink = nullptr;  // the graph's; not referenced, like m_pGraph
};

}  // namespace vornak
