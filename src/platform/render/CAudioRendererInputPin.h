// The audio renderer's only pin, "Audio Input pin (rendered)": takes 16-bit interleaved PCM
// (MEDIATYPE_Audio / MEDIASUBTYPE_PCM / FORMAT_WaveFormatEx) that the sound output can play,
// and refuses every connection when there is no sound output.
#pragma once

#include "CBaseInputPin.h"
#include "MediaFormats.h"

namespace vornak {

class CAudioRenderer;

class CAudioRendererInputPin : public CBaseInputPin {
  public:
    CAudioRendererInputPin(CAudioRenderer* renderer, CCriticalSection* lock);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // The renderer proposes no types: the decoder upstream offers its own.
    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    // On the upstream filter's streaming thread; never waits for the sound output.
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveCanBlock() override { return S_FALSE; }

    // The sound format a type describes, when it is 16-bit PCM this renderer could play.
    static bool PcmFormat(const AM_MEDIA_TYPE& mt, WAVEFORMATEX& format);

  private:
    CAudioRenderer* m_pRenderer;
};

}  // namespace vornak
