// The base of camcorder filters (the FireWire backend's, the virtual camcorder's): a source
// filter that also offers the device control faces, the external device, its tape transport
// and its timecode reader, all counted on the filter.
#pragma once

#include "CBaseFilter.h"
#include "DeviceControl.h"

namespace vornak {

class CCamcorderFilter : public CBaseFilter,
                         public IAMExtDevice,
                         public IAMExtTransport,
                         public IAMTimecodeReader {
  public:
    CCamcorderFilter(const char* objectName, CCriticalSection* lock, const CLSID& clsid);

    // One count and one answer for every face.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // The device control faces, then what CBaseFilter answers.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
};

}  // namespace vornak
