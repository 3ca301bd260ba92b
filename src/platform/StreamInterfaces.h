// The streaming interfaces: filters, pins, media samples and their allocators, enumerators.
//
// A filter has pins; an output pin of one filter connects to an input pin of another with a
// media type both accept. The output pin takes empty samples from an allocator both agreed
// on, fills them and delivers them into the input pin's Receive, on the upstream filter's
// streaming thread. Texts are 8-bit strings.
#pragma once

#include <cstdint>
#include <string>

#include "Guid.h"
#include "HResult.h"
#include "MediaType.h"
#include "Unknown.h"

namespace vornak {

// Stream time in units of 100 ns.
using REFERENCE_TIME = std::int64_t;

class IBaseFilter;
class IPin;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct PIN_INFO {
    IBaseFilter* pFilter = nullptr;  // a reference the receiver releases
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::string achName;
};

class IFilterGraph;

struct FILTER_INFO {
    std::string achName;
    IFilterGraph* pGraph = nullptr;  // a reference the receiver releases
};

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers = 0;
    LONG cbBuffer = 0;
    LONG cbAlign = 0;
    LONG cbPrefix = 0;
};

// Flags of IMemAllocator::GetBuffer.
inline constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
inline constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
inline constexpr DWORD AM_GBF_NOWAIT = 4;

class IReferenceClock : public IUnknown {
  public:
    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

class IEnumPins : public IUnknown {
  public:
    virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cPins) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** ppEnum) = 0;
};

// Handed-out types are task memory, freed with DeleteMediaType.
class IEnumMediaTypes : public IUnknown {
  public:
    virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;
};

class IPin : public IUnknown {
  public:
    // Output pins only: connect to `pReceivePin`, with `pmt` (may be null or partly given).
    virtual HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    // Input pins only: an output pin connects to this one with a complete type.
    virtual HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT QueryId(std::string* id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};

class IMediaSample : public IUnknown {
  public:
    virtual HRESULT GetPointer(std::uint8_t** ppBuffer) = 0;
    virtual LONG GetSize() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    // Either may be null: the sample then has no times.
    virtual HRESULT SetTime(const REFERENCE_TIME* pTimeStart, const REFERENCE_TIME* pTimeEnd) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    // S_OK when data is missing right before this sample (its source threw some away), else
    // S_FALSE.
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(bool discontinuity) = 0;
};

class IMemAllocator : public IUnknown {
  public:
    virtual HRESULT SetProperties(const ALLOCATOR_PROPERTIES* pRequest,
                                  ALLOCATOR_PROPERTIES* pActual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Commit() = 0;
    // Wakes every GetBuffer that waits; samples out keep their memory until they come back.
    virtual HRESULT Decommit() = 0;
    // Waits for a free sample unless AM_GBF_NOWAIT is given.
    virtual HRESULT GetBuffer(IMediaSample** ppBuffer, const REFERENCE_TIME* pStartTime,
                              const REFERENCE_TIME* pEndTime, DWORD dwFlags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* pBuffer) = 0;
};

class IMemInputPin : public IUnknown {
  public:
    virtual HRESULT GetAllocator(IMemAllocator** ppAllocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* pAllocator, std::int32_t bReadOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Receive(IMediaSample* pSample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                    LONG* nSamplesProcessed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;
};

class IPersist : public IUnknown {
  public:
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};

class IMediaFilter : public IPersist {
  public:
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** pClock) = 0;
};

class IBaseFilter : public IMediaFilter {
  public:
    virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT FindPin(const std::string& id, IPin** ppPin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    // The graph is not referenced by its filters (it holds them).
    virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, const std::string& name) = 0;
    virtual HRESULT QueryVendorInfo(std::string* vendorInfo) = 0;
};

class IFilterGraph : public IUnknown {
  public:
    // The graph holds a reference to each of its filters. An empty name lets the graph pick
    // one; a name already taken gets a number appended.
    virtual HRESULT AddFilter(IBaseFilter* pFilter, const std::string& name) = 0;
    // Stops the filter if the graph is not stopped, disconnects its pins and lets it go.
    virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT FindFilterByName(const std::string& name, IBaseFilter** ppFilter) = 0;
    // Connects two pins of filters in the graph with the given type (null: any agreed type).
    virtual HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
    // Breaks one end of a connection.
    virtual HRESULT Disconnect(IPin* ppin) = 0;
};

}  // namespace vornak
