#include "FireWireCamcorderFilter.h"

#include <chrono>

#include "FireWireCapturePin.h"
#include "GraphInterfaces.h"
#include "Guids.h"

namespace vornak {

FireWireCamcorderFilter::FireWireCamcorderFilter(std::shared_ptr<FireWireLibrary> library,
                                                 std::uint64_t guid, FireWireBus::Location location,
                                                 std::size_t packetsPerSample,
                                                 std::size_t queuePackets, std::size_t queueFrames)
    : CCamcorderFilter("FireWire camcorder", nullptr, GUID_NULL),
      m_library(library),
      m_packetsPerSample(packetsPerSample > 0 ? packetsPerSample : kDefaultPacketsPerSample),
      m_queuePackets(queuePackets > 0 ? queuePackets : FireWireCapturePin::kQueuePackets),
      m_queueFrames(queueFrames > 0 ? queueFrames : FireWireCapturePin::kDvQueueFrames),
      m_link(std::move(library), guid, location, [this] { DeviceLost(); }),
      m_pPin(std::make_unique<FireWireCapturePin>(this, Lock())) {}

FireWireCamcorderFilter::~FireWireCamcorderFilter() {
    m_pPin.reset();
}

HRESULT FireWireCamcorderFilter::GetCapability(LONG Capability, LONG* pValue, double* pdblValue) {
    if (pValue == nullptr) {
        return E_POINTER;
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    HRESULT hr = E_NOTIMPL;
    if (Capability == ED_DEVCAP_DEVICE_TYPE) {
        hr = m_link.GetDeviceType(pValue);
    } else if (Capability == VORNAK_DEVCAP_OUTPUT_SIGNAL) {
        hr = m_link.GetOutputSignal(pValue);
    } else if (Capability == ED_DEVCAP_TIMECODE_READ) {
        *pValue = kOaTrue;
        hr = S_OK;
    }
    if (Succeeded(hr) && pdblValue != nullptr) {
        *pdblValue = *pValue;
    }
    return hr;
}

HRESULT FireWireCamcorderFilter::put_Mode(LONG Mode) {
    return m_link.SetMode(Mode);
}

HRESULT FireWireCamcorderFilter::get_Mode(LONG* pMode) {
    return m_link.GetMode(pMode);
}

HRESULT FireWireCamcorderFilter::GetTimecode(TIMECODE_SAMPLE* pTimecodeSample) {
    if (pTimecodeSample == nullptr) {
        return E_POINTER;
    }
    if (pTimecodeSample->dwFlags != static_cast<DWORD>(ED_DEVCAP_TIMECODE_READ)) {
        return E_INVALIDARG;
    }
    DWORD bcd = 0;
    const HRESULT hr = m_link.GetTimecode(&bcd);
    if (Succeeded(hr)) {
        pTimecodeSample->timecode.dwFrames = bcd;
    }
    return hr;
}

HRESULT FireWireCamcorderFilter::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG FireWireCamcorderFilter::AddRef() {
    return NonDelegatingAddRef();
}

ULONG FireWireCamcorderFilter::Release() {
    return NonDelegatingRelease();
}

HRESULT FireWireCamcorderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv != nullptr && riid == IID_IDeviceReport) {
        return GetInterface(static_cast<IDeviceReport*>(this), ppv);
    }
    return CCamcorderFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT FireWireCamcorderFilter::GetDroppedPackets(std::uint64_t* pCount) {
    if (pCount == nullptr) {
        return E_POINTER;
    }
    *pCount = m_pPin->DroppedPackets();
    return S_OK;
}

HRESULT FireWireCamcorderFilter::SetLogHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(m_logLock);
    m_logHandler = std::move(handler);
    return S_OK;
}

HRESULT FireWireCamcorderFilter::WaitUntilDelivered(DWORD timeoutMs) {
    return m_pPin->WaitUntilDelivered(std::chrono::milliseconds(timeoutMs)) ? S_OK : S_FALSE;
}

void FireWireCamcorderFilter::Report(const std::string& message) {
    std::lock_guard lock(m_logLock);
    if (m_logHandler) {
        m_logHandler(message);
    }
}

void FireWireCamcorderFilter::StreamFailed(const std::string& message) {
    Report(message);
    NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
}

CBasePin* FireWireCamcorderFilter::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

void FireWireCamcorderFilter::DeviceLost() {
    m_link.MarkLost();
    if (!m_lossReported.exchange(true, std::memory_order_acq_rel)) {
        NotifyEvent(EC_DEVICE_LOST, 0, 0);
    }
}

}  // namespace vornak
