#include "CFilterGraph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "Guids.h"
#include "PinQueries.h"

namespace vornak {
namespace {

constexpr char kDefaultFilterName[] = "Filter";
// " 0001" and so on, as names taken already are told apart.
constexpr int kNameSuffixLimit = 10000;
constexpr std::size_t kNameSuffixSize = 6;

// Failures after which no converter can help: the pins are not in a state to connect at all.
bool IsFinalConnectFailure(HRESULT hr) {
    return hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_NOT_STOPPED ||
           hr == VFW_E_INVALID_DIRECTION || hr == E_POINTER || hr == VFW_E_NOT_IN_GRAPH ||
           hr == E_OUTOFMEMORY;
}

}  // namespace

CFilterGraph::CFilterGraph() : CUnknown("CFilterGraph") {}

CFilterGraph::~CFilterGraph() {
    // A filter may still take and give back a reference on its way out (asking for its graph,
    // say); the count must not reach zero a second time.
    m_cRef.store(1, std::memory_order_relaxed);
    CAutoLock lock(m_graphLock);
    StopFilters();
    for (Member& member : m_filters) {
        member.filter->JoinFilterGraph(nullptr, std::string());
    }
    for (Member& member : m_filters) {
        for (const ComPtr<IPin>& pin : FilterPins(member.filter.Get())) {
            DisconnectBothEnds(pin.Get());
        }
    }
    m_filters.clear();
}

HRESULT CFilterGraph::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CFilterGraph::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CFilterGraph::Release() {
    return NonDelegatingRelease();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder) {
        return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
    }
    if (riid == IID_IMediaControl) {
        return GetInterface(static_cast<IMediaControl*>(this), ppv);
    }
    if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx) {
        return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
    }
    if (riid == IID_IMediaEventSink) {
        return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// --- Filters -------------------------------------------------------------------------------

std::vector<CFilterGraph::Member>::iterator CFilterGraph::Find(IUnknown* filter) {
    return std::find_if(m_filters.begin(), m_filters.end(), [&](const Member& member) {
        return IsSameObject(member.filter.Get(), filter);
    });
}

bool CFilterGraph::IsPinInGraph(IPin* pin) {
    ComPtr<IBaseFilter> filter = PinFilter(pin);
    return filter && Find(filter.Get()) != m_filters.end();
}

std::string CFilterGraph::UniqueName(const std::string& wanted) const {
    const std::string base = wanted.empty() ? std::string(kDefaultFilterName) : wanted;
    auto taken = [this](const std::string& name) {
        return std::any_of(m_filters.begin(), m_filters.end(),
                           [&](const Member& member) { return member.name == name; });
    };
    if (!taken(base)) {
        return base;
    }
    for (int number = 1; number < kNameSuffixLimit; ++number) {
        char suffix[kNameSuffixSize + 1];
        std::snprintf(suffix, sizeof suffix, " %04d", number);
        std::string candidate = base + suffix;
        if (!taken(candidate)) {
            return candidate;
        }
    }
    return std::string();  // every number taken: the caller refuses the filter
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* pFilter, const std::string& name) {
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    if (Find(pFilter) != m_filters.end()) {
        return E_INVALIDARG;  // already a member
    }
    std::string unique = UniqueName(name);
    if (unique.empty()) {
        return E_FAIL;
    }
    const bool renamed = !name.empty() && unique != name;
    m_filters.push_back(Member{ComPtr<IBaseFilter>(pFilter), unique});
    const HRESULT hr = pFilter->JoinFilterGraph(this, unique);
    if (Failed(hr)) {
        m_filters.pop_back();
        return hr;
    }
    return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    auto member = Find(pFilter);
    if (member == m_filters.end()) {
        return VFW_E_NOT_FOUND;
    }
    const ComPtr<IBaseFilter> filter = member->filter;
    if (m_state.load(std::memory_order_acquire) != State_Stopped) {
        filter->Stop();
    }
    for (const ComPtr<IPin>& pin : FilterPins(filter.Get())) {
        ComPtr<IPin> peer = PinPeer(pin.Get());
        if (peer && Failed(peer->Disconnect())) {
            // A peer that is not stopped refuses to let go (and keeps this filter alive through
            // the pin it holds); it is disconnected as soon as the graph stops.
            m_pendingDisconnects.push_back(std::move(peer));
        }
        pin->Disconnect();
    }
    filter->JoinFilterGraph(nullptr, std::string());
    m_filters.erase(Find(filter.Get()));
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const std::string& name, IBaseFilter** ppFilter) {
    if (ppFilter == nullptr) {
        return E_POINTER;
    }
    *ppFilter = nullptr;
    CAutoLock lock(m_graphLock);
    for (const Member& member : m_filters) {
        if (member.name == name) {
            return HandOut(member.filter.Get(), ppFilter);
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    if (ppinOut == nullptr || ppinIn == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    if (!IsPinInGraph(ppinOut) || !IsPinInGraph(ppinIn)) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (!IsPinDirection(ppinOut, PINDIR_OUTPUT) || !IsPinDirection(ppinIn, PINDIR_INPUT)) {
        return VFW_E_INVALID_DIRECTION;
    }
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT CFilterGraph::Disconnect(IPin* ppin) {
    if (ppin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    return ppin->Disconnect();
}

// --- Building with registered filters ------------------------------------------------------

ComPtr<IBaseFilter> CFilterGraph::AddRegistered(const RegisteredFilter& registered) {
    ComPtr<IBaseFilter> filter;
    if (!registered.create || Failed(registered.create(filter.Receive())) || !filter) {
        return {};
    }
    if (Failed(AddFilter(filter.Get(), registered.name))) {
        return {};
    }
    return filter;
}

HRESULT CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
    if (ppinOut == nullptr || ppinIn == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    if (!IsPinInGraph(ppinOut) || !IsPinInGraph(ppinIn)) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (!IsPinDirection(ppinOut, PINDIR_OUTPUT) || !IsPinDirection(ppinIn, PINDIR_INPUT)) {
        return VFW_E_INVALID_DIRECTION;
    }
    if (IsPinConnected(ppinOut) || IsPinConnected(ppinIn)) {
        return VFW_E_ALREADY_CONNECTED;
    }
    return ConnectVia(ppinOut, ppinIn, 0);
}

HRESULT CFilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
    const HRESULT direct = out->Connect(in, nullptr);
    if (Succeeded(direct) || IsFinalConnectFailure(direct)) {
        return direct;
    }
    if (depth < kMaxConverterDepth) {
        for (const RegisteredFilter& converter : RegisteredFilters(FilterRole::Converter)) {
            if (Succeeded(ConnectThrough(converter, out, in, depth))) {
                return S_OK;
            }
        }
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::ConnectThrough(const RegisteredFilter& converter, IPin* out, IPin* in,
                                     int depth) {
    ComPtr<IBaseFilter> filter = AddRegistered(converter);
    if (!filter) {
        return E_FAIL;
    }
    const std::vector<ComPtr<IPin>> pins = FilterPins(filter.Get());
    for (const ComPtr<IPin>& converterIn : pins) {
        if (!IsPinDirection(converterIn.Get(), PINDIR_INPUT) ||
            Failed(out->Connect(converterIn.Get(), nullptr))) {
            continue;
        }
        // Outputs may appear only once the input is connected: ask again.
        for (const ComPtr<IPin>& converterOut : FilterPins(filter.Get())) {
            if (IsPinDirection(converterOut.Get(), PINDIR_OUTPUT) &&
                !IsPinConnected(converterOut.Get()) &&
                Succeeded(ConnectVia(converterOut.Get(), in, depth + 1))) {
                return S_OK;
            }
        }
        DisconnectBothEnds(converterIn.Get());
    }
    RemoveFilter(filter.Get());
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Render(IPin* ppinOut) {
    if (ppinOut == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_graphLock);
    if (!IsPinInGraph(ppinOut)) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (!IsPinDirection(ppinOut, PINDIR_OUTPUT)) {
        return VFW_E_INVALID_DIRECTION;
    }
    if (IsPinConnected(ppinOut)) {
        return VFW_E_ALREADY_CONNECTED;
    }
    switch (RenderVia(ppinOut, 0)) {
        case RenderOutcome::Full:
            return S_OK;
        case RenderOutcome::Partial:
            return VFW_S_PARTIAL_RENDER;
        case RenderOutcome::None:
            break;
    }
    return VFW_E_CANNOT_RENDER;
}

CFilterGraph::RenderOutcome CFilterGraph::RenderVia(IPin* out, int depth) {
    for (const RegisteredFilter& renderer : RegisteredFilters(FilterRole::Renderer)) {
        if (RenderWith(renderer, out)) {
            return RenderOutcome::Full;
        }
    }
    if (depth < kMaxConverterDepth) {
        for (const RegisteredFilter& converter : RegisteredFilters(FilterRole::Converter)) {
            const RenderOutcome outcome = RenderThrough(converter, out, depth);
            if (outcome != RenderOutcome::None) {
                return outcome;
            }
        }
    }
    return RenderOutcome::None;
}

bool CFilterGraph::RenderWith(const RegisteredFilter& renderer, IPin* out) {
    ComPtr<IBaseFilter> filter = AddRegistered(renderer);
    if (!filter) {
        return false;
    }
    for (const ComPtr<IPin>& rendererIn : FilterPins(filter.Get())) {
        if (IsPinDirection(rendererIn.Get(), PINDIR_INPUT) &&
            Succeeded(out->Connect(rendererIn.Get(), nullptr))) {
            return true;
        }
    }
    RemoveFilter(filter.Get());
    return false;
}

CFilterGraph::RenderOutcome CFilterGraph::RenderThrough(const RegisteredFilter& converter,
                                                        IPin* out, int depth) {
    ComPtr<IBaseFilter> filter = AddRegistered(converter);
    if (!filter) {
        return RenderOutcome::None;
    }
    for (const ComPtr<IPin>& converterIn : FilterPins(filter.Get())) {
        if (!IsPinDirection(converterIn.Get(), PINDIR_INPUT) ||
            Failed(out->Connect(converterIn.Get(), nullptr))) {
            continue;
        }
        // Every output of the converter is a stream of its own (a demultiplexer's video and
        // audio): render each, and count the attempt a success if any of them went through.
        bool anyRendered = false;
        bool anyLeft = false;
        for (const ComPtr<IPin>& converterOut : FilterPins(filter.Get())) {
            if (!IsPinDirection(converterOut.Get(), PINDIR_OUTPUT) ||
                IsPinConnected(converterOut.Get())) {
                continue;
            }
            const RenderOutcome outcome = RenderVia(converterOut.Get(), depth + 1);
            anyRendered = anyRendered || outcome != RenderOutcome::None;
            anyLeft = anyLeft || outcome != RenderOutcome::Full;
        }
        if (anyRendered) {
            return anyLeft ? RenderOutcome::Partial : RenderOutcome::Full;
        }
        DisconnectBothEnds(converterIn.Get());
    }
    RemoveFilter(filter.Get());
    return RenderOutcome::None;
}

// --- States ----------------------------------------------------------------------------------

void CFilterGraph::VisitDownstream(IBaseFilter* filter, std::vector<IBaseFilter*>& visited,
                                   std::vector<ComPtr<IBaseFilter>>& order) {
    if (std::find(visited.begin(), visited.end(), filter) != visited.end()) {
        return;
    }
    visited.push_back(filter);
    for (const ComPtr<IPin>& pin : FilterPins(filter)) {
        if (!IsPinDirection(pin.Get(), PINDIR_OUTPUT)) {
            continue;
        }
        ComPtr<IBaseFilter> downstream = PinFilter(PinPeer(pin.Get()).Get());
        auto member = downstream ? Find(downstream.Get()) : m_filters.end();
        if (member != m_filters.end()) {
            VisitDownstream(member->filter.Get(), visited, order);
        }
    }
    order.emplace_back(filter);
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirst() {
    std::vector<IBaseFilter*> visited;
    std::vector<ComPtr<IBaseFilter>> order;
    for (const Member& member : m_filters) {
        VisitDownstream(member.filter.Get(), visited, order);
    }
    return order;
}

HRESULT CFilterGraph::StopFilters() {
    // Sources first: their streaming threads end before the filters they deliver into stop.
    std::vector<ComPtr<IBaseFilter>> order = DownstreamFirst();
    HRESULT result = S_OK;
    for (auto filter = order.rbegin(); filter != order.rend(); ++filter) {
        const HRESULT hr = (*filter)->Stop();
        if (Failed(hr) && Succeeded(result)) {
            result = hr;
        }
    }
    m_state.store(State_Stopped, std::memory_order_release);
    for (const ComPtr<IPin>& pin : std::exchange(m_pendingDisconnects, {})) {
        pin->Disconnect();
    }
    return result;
}

HRESULT CFilterGraph::PauseFilters() {
    // Sinks first, so that a source never delivers into a filter that is still stopped.
    for (const ComPtr<IBaseFilter>& filter : DownstreamFirst()) {
        const HRESULT hr = filter->Pause();
        if (Failed(hr)) {
            StopFilters();
            return hr;
        }
    }
    m_state.store(State_Paused, std::memory_order_release);
    return S_OK;
}

HRESULT CFilterGraph::Run() {
    CAutoLock lock(m_graphLock);
    const FILTER_STATE state = m_state.load(std::memory_order_acquire);
    if (state == State_Running) {
        return S_OK;
    }
    if (state == State_Stopped) {
        const HRESULT hr = PauseFilters();
        if (Failed(hr)) {
            return hr;
        }
    }
    // No reference clock in this graph: stream time starts at zero.
    constexpr REFERENCE_TIME kStreamStart = 0;
    for (const ComPtr<IBaseFilter>& filter : DownstreamFirst()) {
        const HRESULT hr = filter->Run(kStreamStart);
        if (Failed(hr)) {
            StopFilters();
            return hr;
        }
    }
    m_state.store(State_Running, std::memory_order_release);
    return S_OK;
}

HRESULT CFilterGraph::Pause() {
    CAutoLock lock(m_graphLock);
    return PauseFilters();
}

HRESULT CFilterGraph::Stop() {
    CAutoLock lock(m_graphLock);
    return StopFilters();
}

HRESULT CFilterGraph::GetState(LONG, OAFilterState* pfs) {
    if (pfs == nullptr) {
        return E_POINTER;
    }
    *pfs = m_state.load(std::memory_order_acquire);
    return S_OK;
}

// --- Events ----------------------------------------------------------------------------------

HRESULT CFilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                               LONG msTimeout) {
    if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) {
        return E_POINTER;
    }
    std::unique_lock lock(m_eventLock);
    auto queued = [this] { return !m_events.empty(); };
    if (msTimeout < 0) {
        m_eventQueued.wait(lock, queued);
    } else if (msTimeout > 0) {
        m_eventQueued.wait_for(lock, std::chrono::milliseconds(msTimeout), queued);
    }
    if (m_events.empty()) {
        *lEventCode = 0;
        *lParam1 = 0;
        *lParam2 = 0;
        return E_ABORT;
    }
    const Event event = m_events.front();
    m_events.pop_front();
    *lEventCode = event.code;
    *lParam1 = event.param1;
    *lParam2 = event.param2;
    return S_OK;
}

HRESULT CFilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR) {
    return S_OK;  // parameters are plain numbers here: nothing is allocated for them
}

HRESULT CFilterGraph::SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) {
    std::lock_guard lock(m_notifyLock);
    m_hwnd = hwnd;
    m_notifyMessage = static_cast<UINT>(lMsg);
    m_instanceData = lInstanceData;
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(LONG lNoNotifyFlags) {
    if ((lNoNotifyFlags & ~AM_MEDIAEVENT_NONOTIFY) != 0) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_notifyLock);
    m_notifyFlags = lNoNotifyFlags;
    return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(LONG* lplNoNotifyFlags) {
    if (lplNoNotifyFlags == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_notifyLock);
    *lplNoNotifyFlags = m_notifyFlags;
    return S_OK;
}

HRESULT CFilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    {
        std::lock_guard lock(m_eventLock);
        m_events.push_back(Event{EventCode, EventParam1, EventParam2});
    }
    m_eventQueued.notify_one();
    // Queued before posting, so that the receiver of the post finds the event waiting.
    std::lock_guard lock(m_notifyLock);
    if (m_hwnd != nullptr && (m_notifyFlags & AM_MEDIAEVENT_NONOTIFY) == 0) {
        m_hwnd->PostMessage(m_notifyMessage, 0, static_cast<LPARAM>(m_instanceData));
    }
    return S_OK;
}

}  // namespace vornak
