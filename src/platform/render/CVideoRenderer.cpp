#include "CVideoRenderer.h"

#include <cstring>
#include <utility>

#include "CVideoRendererInputPin.h"
#include "Guids.h"

namespace vornak {
namespace {

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT WholePicture(int width, int height) {
    return RECT{0, 0, width, height};
}

}  // namespace

CVideoRenderer::CVideoRenderer()
    : CBaseFilter("CVideoRenderer", nullptr, CLSID_VideoMixingRenderer),
      m_pPin(std::make_unique<CVideoRendererInputPin>(this, Lock())) {}

CVideoRenderer::~CVideoRenderer() = default;

HRESULT CVideoRenderer::CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    auto* renderer = new CVideoRenderer();
    renderer->AddRef();
    const HRESULT hr = renderer->QueryInterface(riid, ppv);
    renderer->Release();
    return hr;
}

HRESULT CVideoRenderer::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CVideoRenderer::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CVideoRenderer::Release() {
    return NonDelegatingRelease();
}

HRESULT CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IVMRFilterConfig) {
        return GetInterface(static_cast<IVMRFilterConfig*>(this), ppv);
    }
    if (riid == IID_IVMRWindowlessControl) {
        // The control exists only in windowless mode, which must be chosen first.
        CAutoLock lock(*Lock());
        if (m_dwMode != VMRMode_Windowless) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return GetInterface(static_cast<IVMRWindowlessControl*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CVideoRenderer::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

// --- IVMRFilterConfig --------------------------------------------------------------------------

HRESULT CVideoRenderer::SetRenderingMode(DWORD Mode) {
    if (Mode != VMRMode_Windowless) {
        return E_INVALIDARG;
    }
    CAutoLock lock(*Lock());
    if (m_pPin->IsConnected() && m_dwMode != Mode) {
        return VFW_E_WRONG_STATE;
    }
    m_dwMode = Mode;
    return S_OK;
}

HRESULT CVideoRenderer::GetRenderingMode(DWORD* pMode) {
    if (pMode == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*Lock());
    *pMode = m_dwMode != 0 ? m_dwMode : VMRMode_Windowed;
    return S_OK;
}

// --- IVMRWindowlessControl ---------------------------------------------------------------------

HRESULT CVideoRenderer::GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth,
                                           LONG* lpARHeight) {
    if (lpWidth == nullptr || lpHeight == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_pictureLock);
    if (!m_bConnected) {
        *lpWidth = 0;
        *lpHeight = 0;
        return VFW_E_NOT_CONNECTED;
    }
    *lpWidth = m_nNativeWidth;
    *lpHeight = m_nNativeHeight;
    // The format block says nothing of the aspect: square pixels as far as it tells.
    if (lpARWidth != nullptr) {
        *lpARWidth = m_nNativeWidth;
    }
    if (lpARHeight != nullptr) {
        *lpARHeight = m_nNativeHeight;
    }
    return S_OK;
}

HRESULT CVideoRenderer::SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) {
    if (lpSRCRect == nullptr && lpDSTRect == nullptr) {
        return E_POINTER;
    }
    {
        std::lock_guard lock(m_pictureLock);
        if (lpSRCRect != nullptr) {
            const RECT& s = *lpSRCRect;
            if (IsEmpty(s) || s.left < 0 || s.top < 0 ||
                (m_bConnected && (s.right > m_nNativeWidth || s.bottom > m_nNativeHeight))) {
                return E_INVALIDARG;
            }
        }
        if (lpDSTRect != nullptr) {
            const RECT& d = *lpDSTRect;
            if (d.right < d.left || d.bottom < d.top) {
                return E_INVALIDARG;
            }
        }
        if (lpSRCRect != nullptr) {
            m_source = *lpSRCRect;
        }
        if (lpDSTRect != nullptr) {
            m_destination = *lpDSTRect;
        }
    }
    InvalidateWindow();
    return S_OK;
}

HRESULT CVideoRenderer::GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) {
    if (lpSRCRect == nullptr && lpDSTRect == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_pictureLock);
    if (lpSRCRect != nullptr) {
        *lpSRCRect = m_source;
    }
    if (lpDSTRect != nullptr) {
        *lpDSTRect = m_destination;
    }
    return S_OK;
}

void CVideoRenderer::TakePictureForPaint() {
    if (m_pending.valid) {
        // The buffer drawn last becomes the next one to scale into.
        if (m_spare.pixels.empty()) {
            m_spare = std::move(m_shown.picture);
        }
        m_shown = std::move(m_pending);
        m_pending = ScaledPicture{};
        if (m_counts.drawn++ == 0) {
            m_firstDrawnAt = std::chrono::steady_clock::now();
        }
    }
    if (!m_bHasLatest) {
        m_shown.valid = false;
        return;
    }
    if (m_shown.valid && SameRect(m_shown.source, m_source) &&
        SameRect(m_shown.destination, m_destination)) {
        return;
    }
    // The position changed since the picture was scaled: scale the newest picture again, here,
    // rather than show it at a size that no longer fits.
    m_shown.source = m_source;
    m_shown.destination = m_destination;
    m_shown.valid = true;
    if (IsEmpty(m_destination) ||
        !m_paintScaler.Scale(m_latestIyuv.data(), m_nNativeWidth, m_nNativeHeight, m_source,
                             m_destination.right - m_destination.left,
                             m_destination.bottom - m_destination.top, m_shown.picture)) {
        m_shown.picture.width = 0;
        m_shown.picture.height = 0;
    }
}

HRESULT CVideoRenderer::RepaintVideo(HWND, HDC hdc) {
    if (hdc == nullptr) {
        return E_POINTER;
    }
    RECT destination;
    {
        std::lock_guard lock(m_pictureLock);
        TakePictureForPaint();
        destination = m_destination;
    }
    if (IsEmpty(destination)) {
        return S_OK;
    }
    // m_shown belongs to this thread from here on: the streaming thread never touches it.
    const BgraPicture& picture = m_shown.picture;
    if (!m_shown.valid || picture.Empty()) {
        hdc->FillBlack(destination);
        return S_OK;
    }
    hdc->DrawPicture(picture.pixels.data(), picture.width, picture.height, picture.stride,
                     destination.left, destination.top);
    return S_OK;
}

HRESULT CVideoRenderer::DisplayModeChanged() {
    {
        std::lock_guard lock(m_pictureLock);
        ++m_counts.displayChanges;
    }
    // Pictures do not depend on the display's mode here; the window only needs a fresh paint.
    InvalidateWindow();
    return S_OK;
}

HRESULT CVideoRenderer::SetVideoClippingWindow(HWND hwnd) {
    std::lock_guard lock(m_windowLock);
    m_pWindow = hwnd;
    return S_OK;
}

void CVideoRenderer::InvalidateWindow() {
    // Held across the call so that once SetVideoClippingWindow has replaced a window, no call
    // into it is still on its way. InvalidateVideo never blocks.
    std::lock_guard lock(m_windowLock);
    if (m_pWindow != nullptr) {
        m_pWindow->InvalidateVideo();
    }
}

// --- Pictures ----------------------------------------------------------------------------------

void CVideoRenderer::OnConnect(int width, int height) {
    std::lock_guard lock(m_pictureLock);
    m_bConnected = true;
    m_nNativeWidth = width;
    m_nNativeHeight = height;
    // Until told otherwise the whole picture is shown at its own size.
    m_source = WholePicture(width, height);
    m_destination = WholePicture(width, height);
}

void CVideoRenderer::OnDisconnect() {
    std::lock_guard lock(m_pictureLock);
    m_bConnected = false;
    m_bHasLatest = false;
    m_pending = ScaledPicture{};
}

HRESULT CVideoRenderer::ReceivePicture(IMediaSample* pSample) {
    std::lock_guard receive(m_receiveLock);
    std::uint8_t* data = nullptr;
    if (Failed(pSample->GetPointer(&data)) || data == nullptr) {
        return E_POINTER;
    }
    const LONG length = pSample->GetActualDataLength();

    int width = 0;
    int height = 0;
    RECT source;
    RECT destination;
    BgraPicture target;
    std::vector<std::uint8_t> iyuv;
    {
        std::lock_guard lock(m_pictureLock);
        if (!m_bConnected) {
            return VFW_E_NOT_CONNECTED;
        }
        width = m_nNativeWidth;
        height = m_nNativeHeight;
        const std::size_t size = PictureScaler::IyuvSize(width, height);
        if (length < 0 || static_cast<std::size_t>(length) < size) {
            ++m_counts.refused;
            return E_INVALIDARG;
        }
        source = m_source;
        destination = m_destination;
        target = std::move(m_spare);
        iyuv = std::move(m_spareIyuv);
    }

    // The copy keeps the picture for a rescale after the sample has gone back upstream, and
    // gives the scaler the padding it may read into.
    const std::size_t size = PictureScaler::IyuvSize(width, height);
    iyuv.resize(size + PictureScaler::kInputPadding);
    std::memcpy(iyuv.data(), data, size);
    bool scaled = false;
    if (!IsEmpty(destination)) {
        scaled = m_streamScaler.Scale(iyuv.data(), width, height, source,
                                      destination.right - destination.left,
                                      destination.bottom - destination.top, target);
    }

    {
        std::lock_guard lock(m_pictureLock);
        if (!m_bConnected) {
            return VFW_E_NOT_CONNECTED;
        }
        if (m_pending.valid) {
            ++m_counts.late;
            m_spare = std::move(m_pending.picture);
        }
        m_pending.picture = std::move(target);
        m_pending.source = source;
        m_pending.destination = destination;
        // A picture that could not be scaled for this position is redone at the paint.
        m_pending.valid = scaled;
        std::swap(m_latestIyuv, iyuv);
        m_spareIyuv = std::move(iyuv);
        m_bHasLatest = true;
        ++m_counts.received;
    }
    InvalidateWindow();
    return S_OK;
}

CVideoRenderer::Counts CVideoRenderer::GetCounts() const {
    std::lock_guard lock(m_pictureLock);
    return m_counts;
}

std::optional<std::chrono::steady_clock::time_point> CVideoRenderer::FirstDrawnAt() const {
    std::lock_guard lock(m_pictureLock);
    return m_firstDrawnAt;
}

}  // namespace vornak
