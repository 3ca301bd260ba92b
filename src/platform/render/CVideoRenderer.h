// The preview's video renderer, in the role of the Video Mixing Renderer in windowless mode: it
// draws the newest decoded picture into a window it does not own.
//
// Pictures arrive on the upstream streaming thread. Each is scaled right there, from its source
// rectangle to the size of the destination rectangle, into a BGRA picture that waits for the
// window's next paint; the window's thread then only blits it (RepaintVideo). A live preview
// shows pictures as they come: one that arrives before the window has painted the previous one
// replaces it, and the replaced one counts as late.
//
// Locking: the filter lock guards state and connection; one picture lock guards the pictures
// and the video position and is never held while calling into the window; the window lock only
// makes sure that a window the renderer was told to forget is not called any more.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "BgraPicture.h"
#include "CBaseFilter.h"
#include "PictureScaler.h"
#include "PreviewInterfaces.h"

namespace vornak {

class CVideoRendererInputPin;

class CVideoRenderer : public CBaseFilter, public IVMRFilterConfig, public IVMRWindowlessControl {
  public:
    struct Counts {
        std::uint64_t received = 0;  // pictures scaled and kept for the window
        std::uint64_t drawn = 0;     // of those, taken by a paint
        std::uint64_t late = 0;      // replaced by a newer one before any paint took them
        std::uint64_t refused = 0;   // samples too short for the connection's picture size
        std::uint64_t displayChanges = 0;
    };

    CVideoRenderer();
    ~CVideoRenderer() override;

    // A new renderer asked for `riid`: the class factory of CLSID_VideoMixingRenderer.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    // One count for the filter's three faces.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // The filter interfaces, IVMRFilterConfig, and IVMRWindowlessControl once the rendering
    // mode is windowless.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // IVMRFilterConfig. Only VMRMode_Windowless is taken (E_INVALIDARG for the rest), and only
    // while the pin is not connected (VFW_E_WRONG_STATE).
    HRESULT SetRenderingMode(DWORD Mode) override;
    HRESULT GetRenderingMode(DWORD* pMode) override;

    // IVMRWindowlessControl.
    HRESULT GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth,
                               LONG* lpARHeight) override;
    // Either rectangle may be null to keep it. The source must lie within the picture (when
    // connected) and not be empty; the destination must not be inverted.
    HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) override;
    HRESULT GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) override;
    HRESULT RepaintVideo(HWND hwnd, HDC hdc) override;
    HRESULT DisplayModeChanged() override;
    HRESULT SetVideoClippingWindow(HWND hwnd) override;

    // For the pin: a connection with pictures of this size was made, or broken.
    void OnConnect(int width, int height);
    void OnDisconnect();
    // For the pin, on the streaming thread: scales the picture and asks the window to repaint.
    HRESULT ReceivePicture(IMediaSample* pSample);

    Counts GetCounts() const;
    // When a paint first took a picture from the stream: what a viewer saw first, for measuring
    // how far the sound lags it. Empty until then.
    std::optional<std::chrono::steady_clock::time_point> FirstDrawnAt() const;
    // The picture the last RepaintVideo drew (empty when it drew black). Window's thread only.
    const BgraPicture& LastDrawnPicture() const { return m_shown.picture; }

  private:
    // A scaled picture and the rectangles it was scaled for.
    struct ScaledPicture {
        BgraPicture picture;
        RECT source;
        RECT destination;
        bool valid = false;
    };

    void InvalidateWindow();
    // Brings m_shown up to date for a paint. Called with the picture lock held.
    void TakePictureForPaint();

    std::unique_ptr<CVideoRendererInputPin> m_pPin;
    DWORD m_dwMode = 0;  // under the filter lock

    // Serialises Receive calls: m_streamScaler is theirs alone.
    std::mutex m_receiveLock;
    PictureScaler m_streamScaler;

    mutable std::mutex m_pictureLock;
    bool m_bConnected = false;
    int m_nNativeWidth = 0;
    int m_nNativeHeight = 0;
    RECT m_source;
    RECT m_destination;
    ScaledPicture m_pending;  // scaled on the streaming thread, not yet painted
    BgraPicture m_spare;      // a buffer for the next picture to be scaled into
    // The newest picture as it arrived, kept to rescale it when the position changes between
    // pictures; with kInputPadding bytes after it.
    std::vector<std::uint8_t> m_latestIyuv;
    std::vector<std::uint8_t> m_spareIyuv;
    bool m_bHasLatest = false;
    Counts m_counts;
    std::optional<std::chrono::steady_clock::time_point> m_firstDrawnAt;

    // The window's thread only (the paint): what was drawn last, and the scaler that redoes it.
    ScaledPicture m_shown;
    PictureScaler m_paintScaler;

    std::mutex m_windowLock;
    IVideoClipWindow* m_pWindow = nullptr;  // not owned
};

}  // namespace vornak
