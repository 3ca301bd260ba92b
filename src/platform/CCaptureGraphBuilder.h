// The capture graph builder: finds pins by direction, category and media type, and builds a
// stream from a source pin to a sink (through an intermediate filter, through converters the
// graph inserts, or to a registered renderer when no sink is given).
#pragma once

#include <mutex>

#include "CUnknown.h"
#include "ComPtr.h"
#include "GraphInterfaces.h"

namespace vornak {

class CCaptureGraphBuilder : public CUnknown, public ICaptureGraphBuilder2 {
  public:
    CCaptureGraphBuilder();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown and ICaptureGraphBuilder2.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Once only: E_UNEXPECTED when a graph is set already.
    HRESULT SetFiltergraph(IGraphBuilder* pfg) override;
    // Makes a graph of its own when none was set.
    HRESULT GetFiltergraph(IGraphBuilder** ppfg) override;
    // E_FAIL when the source has no matching pin. Fails leaving no connection made and no
    // converter added by the call.
    HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                         IBaseFilter* pIntermediate, IBaseFilter* pSink) override;
    // `pSource` may be a pin (it matches itself, as the only candidate) or a filter. E_FAIL
    // when there is no `num`th matching pin.
    HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType,
                    bool fUnconnected, int num, IPin** ppPin) override;

  private:
    ComPtr<IGraphBuilder> Graph();
    HRESULT SourcePin(IUnknown* pSource, const GUID* pCategory, const GUID* pType,
                      ComPtr<IPin>& pin);
    // Connects `out` to the first input pin of `sink` that takes it, or renders it when no
    // sink is given.
    static HRESULT ConnectToSink(IGraphBuilder* graph, IPin* out, IBaseFilter* sink);
    // Undoes what a call made downstream of `out`: breaks its connection and removes every
    // filter on the way (converters the graph inserted) until `keep` is reached.
    static void TearDown(IGraphBuilder* graph, IPin* out, IBaseFilter* keep);

    std::mutex m_lock;  // guards m_pGraph
    ComPtr<IGraphBuilder> m_pGraph;
};

}  // namespace vornak
