#include "VirtualCamcorderFilter.h"

#include <cmath>

#include "GraphInterfaces.h"
#include "Guids.h"
#include "VirtualCamcorderPin.h"

namespace vornak {
namespace {

// The true of automation-style answers (OATRUE).
constexpr LONG kCapabilityTrue = -1;

struct ModeName {
    LONG code;
    TransportMode mode;
};

constexpr ModeName kModes[] = {
    {ED_MODE_PLAY, TransportMode::Play},
    {ED_MODE_STOP, TransportMode::Stop},
    {ED_MODE_FREEZE, TransportMode::Freeze},
    {ED_MODE_FF, TransportMode::FastForward},
    {ED_MODE_REW, TransportMode::Rewind},
    {ED_MODE_PLAY_FASTEST_FWD, TransportMode::PlayFastForward},
    {ED_MODE_PLAY_FASTEST_REV, TransportMode::PlayFastReverse},
};

}  // namespace

VirtualCamcorderFilter::VirtualCamcorderFilter()
    : CCamcorderFilter("Virtual camcorder", nullptr, GUID_NULL),
      m_pPin(std::make_unique<VirtualCamcorderPin>(this, Lock())) {}

VirtualCamcorderFilter::~VirtualCamcorderFilter() {
    m_lossTimer.Cancel();
    m_pPin.reset();
}

HRESULT VirtualCamcorderFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(*Lock());
    const HRESULT hr = CBaseFilter::Run(tStart);
    if (Succeeded(hr) && m_loseAfter && !IsLost()) {
        m_lossTimer.Start(VirtualCamcorderLossTimer::Seconds(*m_loseAfter),
                          [this] { LoseDevice(); });
    }
    return hr;
}

HRESULT VirtualCamcorderFilter::Stop() {
    CAutoLock lock(*Lock());
    const HRESULT hr = CBaseFilter::Stop();
    m_lossTimer.Cancel();
    return hr;
}

HRESULT VirtualCamcorderFilter::GetCapability(LONG Capability, LONG* pValue, double*) {
    if (pValue == nullptr) {
        return E_POINTER;
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    switch (Capability) {
        case ED_DEVCAP_DEVICE_TYPE:
            *pValue = CameraMode() ? ED_DEVTYPE_CAMERA : ED_DEVTYPE_VCR;
            return S_OK;
        case ED_DEVCAP_TIMECODE_READ:
            *pValue = kCapabilityTrue;
            return S_OK;
        case VORNAK_DEVCAP_OUTPUT_SIGNAL:
            *pValue = m_transport.OutputIsDv() ? VORNAK_SIGNAL_DV : VORNAK_SIGNAL_HDV;
            return S_OK;
        default:
            return E_NOTIMPL;
    }
}

HRESULT VirtualCamcorderFilter::put_Mode(LONG Mode) {
    const ModeName* found = nullptr;
    for (const ModeName& entry : kModes) {
        if (entry.code == Mode) {
            found = &entry;
            break;
        }
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (found == nullptr) {
        return E_INVALIDARG;
    }
    if (found->mode == TransportMode::Play) {
        m_endOfTape.Reset();
    }
    if (!m_transport.SetMode(found->mode)) {
        return IsLost() ? E_DEVICE_NOT_CONNECTED : VFW_E_WRONG_STATE;
    }
    if (found->mode == TransportMode::Play && m_transport.AtEndOfTape()) {
        m_endOfTape.Set();  // played from the very end: stopped there at once
    }
    return S_OK;
}

HRESULT VirtualCamcorderFilter::get_Mode(LONG* pMode) {
    if (pMode == nullptr) {
        return E_POINTER;
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    TransportMode mode = m_transport.Mode();
    if (mode == TransportMode::Stop && m_bDelivering.load(std::memory_order_acquire) &&
        m_transport.AtEndOfTape()) {
        mode = TransportMode::Play;
    }
    for (const ModeName& entry : kModes) {
        if (entry.mode == mode) {
            *pMode = entry.code;
            return S_OK;
        }
    }
    return E_UNEXPECTED;
}

HRESULT VirtualCamcorderFilter::GetTimecode(TIMECODE_SAMPLE* pTimecodeSample) {
    if (pTimecodeSample == nullptr) {
        return E_POINTER;
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (pTimecodeSample->dwFlags != static_cast<DWORD>(ED_DEVCAP_TIMECODE_READ)) {
        return E_NOTIMPL;  // user bits and the other readings are not kept on this tape
    }
    pTimecodeSample->timecode.dwFrames = m_tape.TimecodeAt(m_transport.Position());
    return S_OK;
}

bool VirtualCamcorderFilter::LoadTape(const std::string& path) {
    m_transport.Stop();
    const bool ok = m_tape.Open(VirtualMixedTape::SplitList(path));
    m_transport.Load(m_tape.TransportParts());
    m_nSent.store(0, std::memory_order_relaxed);
    m_endOfTape.Reset();
    return ok;
}

HRESULT VirtualCamcorderFilter::PlayTape() {
    return put_Mode(ED_MODE_PLAY);
}

HRESULT VirtualCamcorderFilter::StopTape() {
    return put_Mode(ED_MODE_STOP);
}

void VirtualCamcorderFilter::LoseDevice() {
    if (!m_transport.Unplug()) {
        return;
    }
    std::function<void()> handler;
    {
        std::lock_guard lock(m_lostMutex);
        handler = m_lostHandler;
    }
    // The device's source forgets it first, so that whoever hears of the loss and looks
    // for devices again no longer finds it.
    if (handler) {
        handler();
    }
    (void)NotifyEvent(EC_DEVICE_LOST, 0, 0);
}

void VirtualCamcorderFilter::SetLoseAfter(std::optional<double> seconds) {
    CAutoLock lock(*Lock());
    if (seconds && !(std::isfinite(*seconds) && *seconds > 0)) {
        seconds.reset();
    }
    m_loseAfter = seconds;
}

void VirtualCamcorderFilter::SetLostHandler(std::function<void()> handler) {
    std::lock_guard lock(m_lostMutex);
    m_lostHandler = std::move(handler);
}

CBasePin* VirtualCamcorderFilter::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

}  // namespace vornak
