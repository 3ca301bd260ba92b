// Enumerates the capture pin's types: the connection's type (taken when the enumerator was
// made or last Reset) if the pin is connected, then the pin's accepted types. Keeps the pin,
// and so its filter, alive while it exists.
#pragma once

#include <atomic>
#include <cstdint>

#include "MediaType.h"
#include "StreamInterfaces.h"

namespace vornak {

class CapturePin;

class CaptureEnumMediaTypes final : public IEnumMediaTypes {
  public:
    // Starts with one reference (the caller's) and adds one on the pin.
    CaptureEnumMediaTypes(CapturePin* pin, const AM_MEDIA_TYPE& snapshot, std::int32_t position);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // Each type handed out is a deep copy in task memory (DeleteMediaType frees it).
    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    // Takes a fresh snapshot of the connection's type.
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

  private:
    ~CaptureEnumMediaTypes();
    std::int32_t SequenceLength() const;
    const AM_MEDIA_TYPE& TypeAt(std::int32_t index) const;

    CapturePin* m_pPin;  // one reference held
    CMediaType m_mtSnapshot;
    std::int32_t m_nPosition;
    std::atomic<LONG> m_cRef{1};
};

}  // namespace vornak
