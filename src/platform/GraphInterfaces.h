// The filter graph's faces: building (add, remove, connect, render), running (media control),
// events (media event, with notification to a window), and the capture graph builder, which
// connects pins by category and media type.
#pragma once

#include "HResult.h"
#include "StreamInterfaces.h"
#include "Unknown.h"

namespace vornak {

// Event codes of the graph's event queue.
inline constexpr LONG EC_COMPLETE = 0x01;
inline constexpr LONG EC_ERRORABORT = 0x03;
inline constexpr LONG EC_DEVICE_LOST = 0x1F;

// Successes of graph building: a filter added under a changed name, a stream rendered only in
// part (a converter on the way has outputs no renderer took).
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = MakeResult(0x0004022Du);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeResult(0x00040242u);

// The message a graph posts, by default, when an event is queued.
inline constexpr UINT WM_USER = 0x400;

// What the graph's event notification needs of a window: a place to post a message to, from
// any thread. The capture page turns each post into a queued call on its own thread.
class INotifyWindow {
  public:
    // Called on any thread, never with a graph lock that the receiver could need.
    virtual void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

  protected:
    ~INotifyWindow() = default;
};
using OAHWND = INotifyWindow*;

// Filter graph states as media control reports them.
using OAFilterState = LONG;

class IGraphBuilder : public IFilterGraph {
  public:
    // Connects an output pin to an input pin: directly if they agree on a type, otherwise
    // through a registered converter filter that the graph adds.
    virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
    // Connects an output pin to a registered renderer for its type, through converters as
    // needed.
    virtual HRESULT Render(IPin* ppinOut) = 0;
};

class IMediaControl : public IUnknown {
  public:
    // Pauses, then runs every filter of the graph (sinks first).
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    // Stops every filter (sources first), waiting for their streaming threads to end.
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
};

class IMediaEvent : public IUnknown {
  public:
    // The oldest queued event. With msTimeout 0 an empty queue gives E_ABORT at once.
    virtual HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                             LONG msTimeout) = 0;
    virtual HRESULT FreeEventParams(LONG lEventCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

class IMediaEventEx : public IMediaEvent {
  public:
    // After this returns, no post reaches the window it replaced. Null switches posting off.
    virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
    // 0: notifications on; AM_MEDIAEVENT_NONOTIFY: off.
    virtual HRESULT SetNotifyFlags(LONG lNoNotifyFlags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) = 0;
};
inline constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

// How filters report events to their graph. Callable from any thread, streaming threads
// included.
class IMediaEventSink : public IUnknown {
  public:
    virtual HRESULT Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;
};

class ICaptureGraphBuilder2 : public IUnknown {
  public:
    virtual HRESULT SetFiltergraph(IGraphBuilder* pfg) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** ppfg) = 0;
    // Connects an unconnected output pin of `pSource` (a filter, or the pin itself) of the
    // given category (null: any) and major type (null: any) to `pSink`'s input, through
    // `pIntermediate` when given, inserting registered converters where two pins do not
    // connect directly. A null sink renders the stream with a registered renderer.
    virtual HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                 IBaseFilter* pIntermediate, IBaseFilter* pSink) = 0;
    // The `num`th pin of `pSource` in `dir` matching category and type (null: any).
    virtual HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION dir, const GUID* pCategory,
                            const GUID* pType, bool fUnconnected, int num, IPin** ppPin) = 0;
};

// A pin's property sets; the one asked for here is its category.
inline constexpr DWORD AMPROPERTY_PIN_CATEGORY = 0;
// What QuerySupported reports: the property can be read, written.
inline constexpr DWORD KSPROPERTY_SUPPORT_GET = 1;
inline constexpr DWORD KSPROPERTY_SUPPORT_SET = 2;
// A property set the object does not have (HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND)), and a
// property it does not have within a set it knows (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
inline constexpr HRESULT E_PROP_SET_UNSUPPORTED = MakeResult(0x80070492u);
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = MakeResult(0x80070490u);

class IKsPropertySet : public IUnknown {
  public:
    virtual HRESULT Set(REFGUID guidPropSet, DWORD dwPropID, void* pInstanceData,
                        DWORD cbInstanceData, void* pPropData, DWORD cbPropData) = 0;
    // For AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY, pPropData receives a GUID.
    virtual HRESULT Get(REFGUID guidPropSet, DWORD dwPropID, void* pInstanceData,
                        DWORD cbInstanceData, void* pPropData, DWORD cbPropData,
                        DWORD* pcbReturned) = 0;
    virtual HRESULT QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) = 0;
};

}  // namespace vornak
