#include "CCaptureGraphBuilder.h"

#include "CFilterGraph.h"
#include "Guids.h"
#include "PinQueries.h"

namespace vornak {
namespace {

bool PinMatches(IPin* pin, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType,
                bool fUnconnected) {
    if (!IsPinDirection(pin, dir) || (fUnconnected && IsPinConnected(pin))) {
        return false;
    }
    if (pCategory != nullptr) {
        GUID category;
        if (!PinCategory(pin, category) || category != *pCategory) {
            return false;
        }
    }
    return pType == nullptr || PinOffersMajorType(pin, *pType);
}

}  // namespace

CCaptureGraphBuilder::CCaptureGraphBuilder() : CUnknown("CCaptureGraphBuilder") {}

HRESULT CCaptureGraphBuilder::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CCaptureGraphBuilder::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CCaptureGraphBuilder::Release() {
    return NonDelegatingRelease();
}

HRESULT CCaptureGraphBuilder::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ICaptureGraphBuilder2) {
        return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CCaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg) {
    if (pfg == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_lock);
    if (m_pGraph) {
        return E_UNEXPECTED;
    }
    m_pGraph = ComPtr<IGraphBuilder>(pfg);
    return S_OK;
}

HRESULT CCaptureGraphBuilder::GetFiltergraph(IGraphBuilder** ppfg) {
    if (ppfg == nullptr) {
        return E_POINTER;
    }
    const ComPtr<IGraphBuilder> graph = Graph();
    return HandOut(graph.Get(), ppfg);
}

ComPtr<IGraphBuilder> CCaptureGraphBuilder::Graph() {
    std::lock_guard lock(m_lock);
    if (!m_pGraph) {
        m_pGraph = ComPtr<IGraphBuilder>(static_cast<IGraphBuilder*>(new CFilterGraph()));
    }
    return m_pGraph;
}

HRESULT CCaptureGraphBuilder::FindPin(IUnknown* pSource, PIN_DIRECTION dir, const GUID* pCategory,
                                      const GUID* pType, bool fUnconnected, int num, IPin** ppPin) {
    if (pSource == nullptr || ppPin == nullptr) {
        return E_POINTER;
    }
    *ppPin = nullptr;
    ComPtr<IPin> pin;
    if (Succeeded(pSource->QueryInterface(IID_IPin, pin.ReceiveVoid()))) {
        if (num == 0 && PinMatches(pin.Get(), dir, pCategory, pType, fUnconnected)) {
            return HandOut(pin.Get(), ppPin);
        }
        return E_FAIL;
    }
    ComPtr<IBaseFilter> filter;
    if (Failed(pSource->QueryInterface(IID_IBaseFilter, filter.ReceiveVoid()))) {
        return E_NOINTERFACE;
    }
    for (const ComPtr<IPin>& candidate : FilterPins(filter.Get())) {
        if (PinMatches(candidate.Get(), dir, pCategory, pType, fUnconnected) && num-- == 0) {
            return HandOut(candidate.Get(), ppPin);
        }
    }
    return E_FAIL;
}

HRESULT CCaptureGraphBuilder::SourcePin(IUnknown* pSource, const GUID* pCategory, const GUID* pType,
                                        ComPtr<IPin>& pin) {
    // A pin given as the source is taken as it is: the caller has chosen it.
    if (Succeeded(pSource->QueryInterface(IID_IPin, pin.ReceiveVoid()))) {
        if (!IsPinDirection(pin.Get(), PINDIR_OUTPUT)) {
            return VFW_E_INVALID_DIRECTION;
        }
        return IsPinConnected(pin.Get()) ? VFW_E_ALREADY_CONNECTED : S_OK;
    }
    return FindPin(pSource, PINDIR_OUTPUT, pCategory, pType, true, 0, pin.Receive());
}

HRESULT CCaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType,
                                           IUnknown* pSource, IBaseFilter* pIntermediate,
                                           IBaseFilter* pSink) {
    if (pSource == nullptr) {
        return E_POINTER;
    }
    const ComPtr<IGraphBuilder> graph = Graph();
    ComPtr<IPin> source;
    HRESULT hr = SourcePin(pSource, pCategory, pType, source);
    if (Failed(hr)) {
        return hr;
    }
    if (pIntermediate == nullptr) {
        return ConnectToSink(graph.Get(), source.Get(), pSink);
    }

    hr = ConnectToSink(graph.Get(), source.Get(), pIntermediate);
    if (Failed(hr)) {
        return hr;
    }
    ComPtr<IPin> between;
    hr = FindPin(pIntermediate, PINDIR_OUTPUT, nullptr, nullptr, true, 0, between.Receive());
    if (Succeeded(hr)) {
        hr = ConnectToSink(graph.Get(), between.Get(), pSink);
    }
    if (Failed(hr)) {
        TearDown(graph.Get(), source.Get(), pIntermediate);
    }
    return hr;
}

HRESULT CCaptureGraphBuilder::ConnectToSink(IGraphBuilder* graph, IPin* out, IBaseFilter* sink) {
    if (sink == nullptr) {
        return graph->Render(out);
    }
    HRESULT failure = E_FAIL;  // stays so when the sink has no free input pin
    for (const ComPtr<IPin>& in : FilterPins(sink)) {
        if (!IsPinDirection(in.Get(), PINDIR_INPUT) || IsPinConnected(in.Get())) {
            continue;
        }
        const HRESULT hr = graph->Connect(out, in.Get());
        if (Succeeded(hr)) {
            return hr;
        }
        if (failure == E_FAIL) {
            failure = hr;
        }
    }
    return failure;
}

void CCaptureGraphBuilder::TearDown(IGraphBuilder* graph, IPin* out, IBaseFilter* keep) {
    const ComPtr<IPin> peer = PinPeer(out);
    if (!peer) {
        return;
    }
    const ComPtr<IBaseFilter> next = PinFilter(peer.Get());
    graph->Disconnect(peer.Get());
    graph->Disconnect(out);
    if (!next || IsSameObject(next.Get(), keep)) {
        return;
    }
    for (const ComPtr<IPin>& pin : FilterPins(next.Get())) {
        if (IsPinDirection(pin.Get(), PINDIR_OUTPUT)) {
            TearDown(graph, pin.Get(), keep);
        }
    }
    graph->RemoveFilter(next.Get());
}

}  // namespace vornak
