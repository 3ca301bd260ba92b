// The faces of the preview path: the MPEG-2 demultiplexer's output pins with their stream
// identifier maps, and the windowless video renderer that draws into the preview window.
#pragma once

#include <cstdint>
#include <string>

#include "HResult.h"
#include "MediaType.h"
#include "StreamInterfaces.h"
#include "Unknown.h"

namespace vornak {

// What a demultiplexer output pin carries of the packets mapped to it.
enum MEDIA_SAMPLE_CONTENT {
    MEDIA_TRANSPORT_PACKET = 0,
    MEDIA_ELEMENTARY_STREAM = 1,
    MEDIA_MPEG2_PSI = 2,
    MEDIA_TRANSPORT_PAYLOAD = 3,
};

class IMpeg2Demultiplexer : public IUnknown {
  public:
    // A new output pin offering exactly `pMediaType`, named `pszPinName`.
    virtual HRESULT CreateOutputPin(const AM_MEDIA_TYPE* pMediaType, const std::string& pszPinName,
                                    IPin** ppIPin) = 0;
    virtual HRESULT DeleteOutputPin(const std::string& pszPinName) = 0;
};

// Offered by the demultiplexer's output pins.
class IMPEG2PIDMap : public IUnknown {
  public:
    virtual HRESULT MapPID(ULONG culPID, const ULONG* pulPID,
                           MEDIA_SAMPLE_CONTENT MediaSampleContent) = 0;
    virtual HRESULT UnmapPID(ULONG culPID, const ULONG* pulPID) = 0;
};

// The window a windowless renderer draws into: it only needs to be told to repaint.
class IVideoClipWindow {
  public:
    // Asks for a repaint soon. Any thread; never blocks on the window's thread.
    virtual void InvalidateVideo() = 0;

  protected:
    ~IVideoClipWindow() = default;
};
using HWND = IVideoClipWindow*;

// What RepaintVideo draws on: the window's painter for the length of one paint.
class IVideoCanvas {
  public:
    // Draws `width` x `height` pixels of 32-bit BGRA (`stride` bytes a line) with their top-left
    // corner at (x, y) of the window's client area.
    virtual void DrawPicture(const std::uint8_t* bgra, int width, int height, int stride, int x,
                             int y) = 0;
    // Fills a rectangle of the client area with black.
    virtual void FillBlack(const RECT& rect) = 0;

  protected:
    ~IVideoCanvas() = default;
};
using HDC = IVideoCanvas*;

inline constexpr DWORD VMRMode_Windowed = 1;
inline constexpr DWORD VMRMode_Windowless = 2;

class IVMRFilterConfig : public IUnknown {
  public:
    virtual HRESULT SetRenderingMode(DWORD Mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* pMode) = 0;
};

class IVMRWindowlessControl : public IUnknown {
  public:
    // The picture size of the connection's type; the aspect outputs may be null.
    virtual HRESULT GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth,
                                       LONG* lpARHeight) = 0;
    // Which part of the picture goes where in the window's client area.
    virtual HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) = 0;
    virtual HRESULT GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) = 0;
    // Draws the last picture into `hdc`; black where there is none. Window's thread only.
    virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
    virtual HRESULT DisplayModeChanged() = 0;
    virtual HRESULT SetVideoClippingWindow(HWND hwnd) = 0;
};

// The preview's sound renderer, for the page that shows the preview: its loudness, and whether
// the sound output went away under it.
class IPreviewSound : public IUnknown {
  public:
    // 0 (silent) to 1, linear.
    virtual HRESULT SetVolume(float volume) = 0;
    // How many times the output went away while playing; it stays silent after.
    virtual std::uint32_t OutputLosses() = 0;
};

}  // namespace vornak
