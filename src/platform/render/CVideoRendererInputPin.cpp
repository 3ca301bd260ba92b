#include "CVideoRendererInputPin.h"

#include <cstdlib>

#include "CVideoRenderer.h"
#include "Guids.h"

namespace vornak {
namespace {

constexpr char kPinName[] = "VMR Input0";
// Larger pictures than this are a damaged format block, not a camcorder's.
constexpr int kMaxPictureSide = 8192;

}  // namespace

CVideoRendererInputPin::CVideoRendererInputPin(CVideoRenderer* renderer, CCriticalSection* lock)
    : CBaseInputPin("CVideoRendererInputPin", renderer, lock, kPinName), m_pRenderer(renderer) {}

bool CVideoRendererInputPin::PictureSize(const AM_MEDIA_TYPE& mt, int& width, int& height) {
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != MEDIASUBTYPE_IYUV ||
        mt.formattype != FORMAT_VideoInfo) {
        return false;
    }
    VIDEOINFOHEADER info;
    if (!ReadVideoInfo(mt, info)) {
        return false;
    }
    // A negative height only says which way up an RGB picture is stored; planar pictures
    // always start at the top.
    const int w = info.bmiHeader.biWidth;
    const int h = std::abs(info.bmiHeader.biHeight);
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

HRESULT CVideoRendererInputPin::CheckMediaType(const CMediaType* pmt) {
    int width = 0;
    int height = 0;
    return pmt != nullptr && PictureSize(*pmt, width, height) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoRendererInputPin::GetMediaType(int, CMediaType*) {
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CVideoRendererInputPin::SetMediaType(const CMediaType* pmt) {
    const HRESULT hr = CBaseInputPin::SetMediaType(pmt);
    if (Failed(hr)) {
        return hr;
    }
    int width = 0;
    int height = 0;
    if (!PictureSize(*pmt, width, height)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_pRenderer->OnConnect(width, height);
    return S_OK;
}

HRESULT CVideoRendererInputPin::BreakConnect() {
    m_pRenderer->OnDisconnect();
    return CBaseInputPin::BreakConnect();
}

HRESULT CVideoRendererInputPin::Receive(IMediaSample* pSample) {
    const HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    return m_pRenderer->ReceivePicture(pSample);
}

}  // namespace vornak
