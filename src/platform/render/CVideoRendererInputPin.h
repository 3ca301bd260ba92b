// The video renderer's only pin, "VMR Input0": takes decoded pictures (MEDIATYPE_Video /
// MEDIASUBTYPE_IYUV / FORMAT_VideoInfo) and hands each one to its filter to be shown.
#pragma once

#include "CBaseInputPin.h"

namespace vornak {

class CVideoRenderer;

class CVideoRendererInputPin : public CBaseInputPin {
  public:
    CVideoRendererInputPin(CVideoRenderer* renderer, CCriticalSection* lock);

    // Planar 4:2:0 pictures with a VIDEOINFOHEADER of a sensible size; nothing else.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // The renderer proposes no types: the decoder upstream offers its own.
    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT BreakConnect() override;
    // On the upstream filter's streaming thread.
    HRESULT Receive(IMediaSample* pSample) override;
    // Pictures are scaled as they arrive and never wait for the window.
    HRESULT ReceiveCanBlock() override { return S_FALSE; }

    // The picture size a type describes, when it is one this pin takes.
    static bool PictureSize(const AM_MEDIA_TYPE& mt, int& width, int& height);

  private:
    CVideoRenderer* m_pRenderer;
};

}  // namespace vornak
