// A decoder's input pin: checks types with its filter and hands it every sample.
#pragma once

#include "CBaseInputPin.h"

namespace vornak {

class CDecoderFilter;

class CDecoderInputPin : public CBaseInputPin {
  public:
    explicit CDecoderInputPin(CDecoderFilter* filter);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

  private:
    CDecoderFilter* m_pDecoder;
};

}  // namespace vornak
