// The demultiplexer's input: any MEDIATYPE_Stream, handed on to the filter sample by sample on
// the upstream thread.
#pragma once

#include "CBaseInputPin.h"

namespace vornak {

class CMpeg2Demultiplexer;

class CMpeg2DemuxInputPin : public CBaseInputPin {
  public:
    explicit CMpeg2DemuxInputPin(CMpeg2Demultiplexer* filter);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

  private:
    CMpeg2Demultiplexer* m_pDemux;
};

}  // namespace vornak
