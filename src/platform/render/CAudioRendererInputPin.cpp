#include "CAudioRendererInputPin.h"

#include <algorithm>
#include <cstring>

#include "CAudioRenderer.h"
#include "Guids.h"

namespace vornak {
namespace {

constexpr char kPinName[] = "Audio Input pin (rendered)";
constexpr int kBitsPerSample = 16;
constexpr int kBytesPerSample = kBitsPerSample / 8;
// Beyond 7.1 sound or these rates the format block is damaged rather than unusual.
constexpr int kMaxChannels = 8;
constexpr std::uint32_t kMinRate = 8000;
constexpr std::uint32_t kMaxRate = 192000;

}  // namespace

CAudioRendererInputPin::CAudioRendererInputPin(CAudioRenderer* renderer, CCriticalSection* lock)
    : CBaseInputPin("CAudioRendererInputPin", renderer, lock, kPinName), m_pRenderer(renderer) {}

bool CAudioRendererInputPin::PcmFormat(const AM_MEDIA_TYPE& mt, WAVEFORMATEX& format) {
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM ||
        mt.formattype != FORMAT_WaveFormatEx || mt.pbFormat == nullptr ||
        mt.cbFormat < sizeof(WAVEFORMATEX) - sizeof(format.cbSize)) {
        return false;
    }
    // The trailing cbSize may be missing from a plain PCM format block.
    WAVEFORMATEX read;
    std::memcpy(&read, mt.pbFormat, std::min<std::size_t>(mt.cbFormat, sizeof(read)));
    if (read.wFormatTag != WAVE_FORMAT_PCM || read.wBitsPerSample != kBitsPerSample ||
        read.nChannels == 0 || read.nChannels > kMaxChannels || read.nSamplesPerSec < kMinRate ||
        read.nSamplesPerSec > kMaxRate || read.nBlockAlign != read.nChannels * kBytesPerSample) {
        return false;
    }
    format = read;
    return true;
}

HRESULT CAudioRendererInputPin::CheckMediaType(const CMediaType* pmt) {
    WAVEFORMATEX format;
    if (pmt == nullptr || !PcmFormat(*pmt, format) || !m_pRenderer->Playback().Supports(format)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT CAudioRendererInputPin::GetMediaType(int, CMediaType*) {
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CAudioRendererInputPin::Active() {
    WAVEFORMATEX format;
    if (!PcmFormat(CurrentMediaType(), format)) {
        return VFW_E_NOT_CONNECTED;
    }
    // A sound output that went away since the connection costs the preview its sound, not the
    // graph its start.
    m_pRenderer->Playback().Start(format);
    return CBaseInputPin::Active();
}

HRESULT CAudioRendererInputPin::Inactive() {
    m_pRenderer->Playback().Stop();
    return CBaseInputPin::Inactive();
}

HRESULT CAudioRendererInputPin::Receive(IMediaSample* pSample) {
    const HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    std::uint8_t* data = nullptr;
    if (Failed(pSample->GetPointer(&data)) || data == nullptr) {
        return E_POINTER;
    }
    const LONG length = pSample->GetActualDataLength();
    if (length <= 0) {
        return S_OK;
    }
    const auto size = static_cast<std::size_t>(length);
    std::size_t played = 0;
    // Paused is a still picture: its sound would only pile up behind the live one.
    if (m_pFilter->State() == State_Running) {
        played = m_pRenderer->Playback().Write(data, size);
    }
    m_pRenderer->CountReceived(size, played);
    return S_OK;
}

}  // namespace vornak
