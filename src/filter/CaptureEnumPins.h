// Enumerates the capture filter's pins in GetPin order: the preview pin, then the capture pin.
// Keeps the filter alive while it exists.
#pragma once

#include <atomic>
#include <cstdint>

#include "StreamInterfaces.h"

namespace vornak {

class CaptureFilter;

class CaptureEnumPins final : public IEnumPins {
  public:
    // Starts with one reference (the caller's) and adds one on the filter.
    CaptureEnumPins(CaptureFilter* filter, std::int32_t position);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    // Deletes the enumerator at zero.
    ULONG Release() override;

    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    // S_FALSE once the position passes the last pin.
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** ppEnum) override;

  private:
    ~CaptureEnumPins();

    CaptureFilter* m_pFilter;  // one reference held
    std::int32_t m_nPosition;
    std::atomic<LONG> m_cRef{1};
};

}  // namespace vornak
