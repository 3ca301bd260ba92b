// The filter graph: holds filters, connects their pins (through registered converters when
// two pins do not agree), renders streams with registered renderers, moves every filter
// through stopped, paused and running, and queues the events its filters report.
//
// Locks, never taken in the opposite order:
// - the graph lock guards the filter list and state changes; filters' own locks are taken
//   inside it (Stop waits for streaming threads while holding it);
// - the event lock guards the event queue only; streaming threads take it through Notify;
// - the notification lock guards the window and is held around each post, so that after
//   SetNotifyWindow returns no post reaches the window it replaced. Streaming threads take it
//   only after leaving the event lock, and nothing else is waited for while it is held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "CUnknown.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "FilterRegistry.h"
#include "GraphInterfaces.h"

namespace vornak {

class CFilterGraph : public CUnknown,
                     public IGraphBuilder,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink {
  public:
    // Chains of converters the graph tries between two pins, at most.
    static constexpr int kMaxConverterDepth = 4;

    CFilterGraph();
    // Stops, makes every filter leave (so no streaming thread can notify a dying graph),
    // disconnects every pin (pins hold their peers, which count on their filters), then lets
    // the filters go.
    ~CFilterGraph() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown, IFilterGraph, IGraphBuilder, IMediaControl, IMediaEvent, IMediaEventEx,
    // IMediaEventSink.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph. An empty name becomes "Filter"; a taken one gets " 0001", " 0002"... and
    // AddFilter then answers VFW_S_DUPLICATE_NAME.
    HRESULT AddFilter(IBaseFilter* pFilter, const std::string& name) override;
    // A peer that is not stopped refuses to disconnect; it lets go when the graph next stops.
    HRESULT RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT FindFilterByName(const std::string& name, IBaseFilter** ppFilter) override;
    HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect(IPin* ppin) override;

    // IGraphBuilder. VFW_E_CANNOT_CONNECT / VFW_E_CANNOT_RENDER when no chain of registered
    // filters does it; the filters tried on the way are removed again.
    HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override;
    // S_OK, or VFW_S_PARTIAL_RENDER when a converter on the way has outputs left unrendered.
    HRESULT Render(IPin* ppinOut) override;

    // IMediaControl. A filter that fails to pause or run leaves the whole graph stopped.
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;

    // IMediaEvent(Ex). A negative time-out waits as long as it takes.
    HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                     LONG msTimeout) override;
    HRESULT FreeEventParams(LONG lEventCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
    HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;
    HRESULT SetNotifyFlags(LONG lNoNotifyFlags) override;
    HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) override;

    // IMediaEventSink: queues the event, then posts to the window if notification is on.
    HRESULT Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

  private:
    struct Member {
        ComPtr<IBaseFilter> filter;
        std::string name;
    };
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    enum class RenderOutcome { None, Partial, Full };

    // All of these expect the graph lock to be held.
    std::vector<Member>::iterator Find(IUnknown* filter);
    bool IsPinInGraph(IPin* pin);
    std::string UniqueName(const std::string& wanted) const;
    // Every filter, each after all the filters downstream of it.
    std::vector<ComPtr<IBaseFilter>> DownstreamFirst();
    void VisitDownstream(IBaseFilter* filter, std::vector<IBaseFilter*>& visited,
                         std::vector<ComPtr<IBaseFilter>>& order);
    HRESULT StopFilters();
    HRESULT PauseFilters();
    ComPtr<IBaseFilter> AddRegistered(const RegisteredFilter& registered);
    HRESULT ConnectVia(IPin* out, IPin* in, int depth);
    HRESULT ConnectThrough(const RegisteredFilter& converter, IPin* out, IPin* in, int depth);
    RenderOutcome RenderVia(IPin* out, int depth);
    bool RenderWith(const RegisteredFilter& renderer, IPin* out);
    RenderOutcome RenderThrough(const RegisteredFilter& converter, IPin* out, int depth);

    CCriticalSection m_graphLock;
    std::vector<Member> m_filters;  // in the order they were added
    // Pins that were still running when the filter they were connected to left the graph.
    std::vector<ComPtr<IPin>> m_pendingDisconnects;
    std::atomic<FILTER_STATE> m_state{State_Stopped};

    std::mutex m_eventLock;
    std::condition_variable m_eventQueued;
    std::deque<Event> m_events;

    std::mutex m_notifyLock;
    OAHWND m_hwnd = nullptr;
    UINT m_notifyMessage = 0;
    LONG_PTR m_instanceData = 0;
    LONG m_notifyFlags = 0;
};

}  // namespace vornak
