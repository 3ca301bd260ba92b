#include "CAudioRenderer.h"

#include "CAudioRendererInputPin.h"
#include "Guids.h"

namespace vornak {

CAudioRenderer::CAudioRenderer(std::unique_ptr<AudioPlayback> playback)
    : CBaseFilter("CAudioRenderer", nullptr, CLSID_DSoundRender),
      m_pPlayback(std::move(playback)),
      m_pPin(std::make_unique<CAudioRendererInputPin>(this, Lock())) {}

CAudioRenderer::~CAudioRenderer() {
    m_pPlayback->Stop();
}

HRESULT CAudioRenderer::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CAudioRenderer::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CAudioRenderer::Release() {
    return NonDelegatingRelease();
}

HRESULT CAudioRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IPreviewSound) {
        return GetInterface(static_cast<IPreviewSound*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioRenderer::SetVolume(float volume) {
    m_pPlayback->SetVolume(volume);
    return S_OK;
}

std::uint32_t CAudioRenderer::OutputLosses() {
    return m_pPlayback->Losses();
}

CBasePin* CAudioRenderer::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

void CAudioRenderer::CountReceived(std::uint64_t received, std::uint64_t played) {
    m_nReceived.fetch_add(received, std::memory_order_relaxed);
    m_nPlayed.fetch_add(played, std::memory_order_relaxed);
}

CAudioRenderer::Counts CAudioRenderer::GetCounts() const {
    Counts counts;
    counts.receivedBytes = m_nReceived.load(std::memory_order_relaxed);
    counts.playedBytes = m_nPlayed.load(std::memory_order_relaxed);
    counts.droppedBytes = counts.receivedBytes - counts.playedBytes;
    return counts;
}

}  // namespace vornak
