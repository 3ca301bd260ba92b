// The in-house media framework layer, in one view. The capture side is written against the
// object model of COM and DirectShow (reference-counted interfaces, filters with pins, media
// samples from allocators); this layer provides as much of it as Vornak uses, with the same
// names, result codes and GUID values, and nothing of Windows.
//
//   Guid.h, Guids.h        GUID, interface ids, media major types and subtypes
//   HResult.h              HRESULT and the named result codes
//   Unknown.h, ComPtr.h    IUnknown, the non-delegating face, GetInterface/HandOut, ComPtr
//   TaskMemory.h           task memory for format blocks and handed-out media types
//   MediaType.h            AM_MEDIA_TYPE, VIDEOINFOHEADER, deep copies, CMediaType
//   StreamInterfaces.h     IBaseFilter, IPin, IMemInputPin, IMediaSample, IMemAllocator,
//                          IEnumPins, IEnumMediaTypes, IReferenceClock, IFilterGraph
//   CUnknown.h             reference counting and QueryInterface for implementations
//   CBaseFilter.h          filter states, activation of connected pins, clock, graph
//   CBasePin.h             connection and media-type agreement, pin information
//   CBaseInputPin.h        sample reception, the input pin's allocator, flushing
//   CBaseOutputPin.h       allocator negotiation, DecideBufferSize, GetDeliveryBuffer, Deliver
//   CMemAllocator.h        fixed sets of equal buffers lent out as CMediaSample
//   CEnumPinList.h, CEnumMediaTypeList.h   the base classes' enumerators
//   CriticalSection.h      the lock type of filters and pins (recursive)
//   ManualResetEvent.h     a named manual-reset event with timed waits
//   ThreadStart.h          threads started at a priority, best effort
//   CPinPropertySet.h      a pin's category through IKsPropertySet
//
// Graph services:
//   Com.h                  CoInitialize per thread, CoCreateInstance, the class registry
//   GraphInterfaces.h      IGraphBuilder, IMediaControl, IMediaEvent(Ex), IMediaEventSink,
//                          ICaptureGraphBuilder2, IKsPropertySet, INotifyWindow, event codes
//   CFilterGraph.h         the filter graph: filters, connections through converters,
//                          rendering, states (sinks first, sources first), the event queue
//   FilterRegistry.h       converters and renderers the graph may add by itself
//   CCaptureGraphBuilder.h pins by category and type; RenderStream
//   PinQueries.h           questions to pins and filters through their interfaces
//   DeviceEnum.h           ICreateDevEnum, IEnumMoniker, IMoniker, IPropertyBag, VARIANT,
//                          StringFromGUID2, VarBstrCmp
//   DeviceCatalog.h        device sources that the device enumerator lists
//   CSystemDeviceEnum.h, CEnumMonikerList.h, CDeviceMoniker.h, CPropertyBag.h
//                          the device enumerator, its monikers and property bags
//   DeviceControl.h        tape devices: IAMExtDevice, IAMExtTransport, IAMTimecodeReader
//
// Lock order of the graph services: the graph lock before a filter's lock; a filter's event
// sink lock (NotifyEvent) before the graph's event and notification locks. A streaming thread
// never needs the graph lock, so that Stop may wait for it while holding that lock.
//
// Rules carried over: an object's count starts at zero and its creator takes the first
// reference; interfaces are handed out with a reference added and given back with Release;
// pins count on their filter; format blocks and enumerated types live in task memory.
#pragma once

#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "CBaseOutputPin.h"
#include "CBasePin.h"
#include "CCaptureGraphBuilder.h"
#include "CDeviceMoniker.h"
#include "CEnumMediaTypeList.h"
#include "CEnumMonikerList.h"
#include "CEnumPinList.h"
#include "CFilterGraph.h"
#include "CMemAllocator.h"
#include "CPinPropertySet.h"
#include "CPropertyBag.h"
#include "CSystemDeviceEnum.h"
#include "CUnknown.h"
#include "Com.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "DeviceCatalog.h"
#include "DeviceControl.h"
#include "DeviceEnum.h"
#include "FilterRegistry.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "HResult.h"
#include "ManualResetEvent.h"
#include "MediaType.h"
#include "PinQueries.h"
#include "StreamInterfaces.h"
#include "TaskMemory.h"
#include "ThreadStart.h"
