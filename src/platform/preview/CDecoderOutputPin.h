// A decoder's output pin: offers the one type its filter makes of the input's type, once the
// input is connected, and accepts no other.
#pragma once

#include "CBaseOutputPin.h"

namespace vornak {

class CDecoderFilter;

class CDecoderOutputPin : public CBaseOutputPin {
  public:
    explicit CDecoderOutputPin(CDecoderFilter* filter);

    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;

    // Stream lock held: connected with an allocator.
    bool IsReady() const { return m_bReady; }

  private:
    CDecoderFilter* m_pDecoder;
    bool m_bReady = false;  // stream lock
};

}  // namespace vornak
