// The base of a camcorder's output pin: the capture category, and one media type, an MPEG-2
// transport stream of source packets without a format block.
#pragma once

#include "CBaseOutputPin.h"

namespace vornak {

class CCamcorderStreamPin : public CBaseOutputPin {
  public:
    CCamcorderStreamPin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock);

    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    const GUID* Category() const override;
};

}  // namespace vornak
