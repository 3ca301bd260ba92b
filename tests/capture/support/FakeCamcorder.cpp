#include "FakeCamcorder.h"

#include <algorithm>

#include "ComPtr.h"

#include "Guids.h"

namespace vornak::test {

namespace {
constexpr LONG kBuffers = 2;
constexpr LONG kBufferBytes = 192 * 16;
}  // namespace

FakeCamcorderPin::FakeCamcorderPin(FakeCamcorder* filter)
    : CCamcorderStreamPin("FakeCamcorderPin", filter, nullptr) {}

HRESULT FakeCamcorderPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    pRequest->cBuffers = kBuffers;
    pRequest->cbBuffer = kBufferBytes;
    ALLOCATOR_PROPERTIES actual;
    return pAlloc->SetProperties(pRequest, &actual);
}

FakeCamcorder::FakeCamcorder(FakeCamcorderFaces faces)
    : CCamcorderFilter("FakeCamcorder", nullptr, GUID_NULL),
      m_faces(faces),
      m_pPin(std::make_unique<FakeCamcorderPin>(this)) {}

FakeCamcorder::~FakeCamcorder() {
    m_pPin.reset();
}

HRESULT FakeCamcorder::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IAMExtDevice && m_faces.extDevice) {
        return GetInterface(static_cast<IAMExtDevice*>(this), ppv);
    }
    if (riid == IID_IAMExtTransport && m_faces.transport) {
        return GetInterface(static_cast<IAMExtTransport*>(this), ppv);
    }
    if (riid == IID_IAMTimecodeReader && m_faces.timecode) {
        return GetInterface(static_cast<IAMTimecodeReader*>(this), ppv);
    }
    if (riid == IID_IDeviceReport && m_faces.report) {
        return GetInterface(static_cast<IDeviceReport*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT FakeCamcorder::SetLogHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(m_logLock);
    m_logHandler = std::move(handler);
    return S_OK;
}

void FakeCamcorder::Say(const std::string& line) {
    std::lock_guard lock(m_logLock);
    if (m_logHandler) {
        m_logHandler(line);
    }
}

HRESULT FakeCamcorder::WaitUntilDelivered(DWORD timeoutMs) {
    {
        std::lock_guard lock(m_mutex);
        std::string wait = "wait " + std::to_string(timeoutMs) + " after";
        for (std::size_t i = 0; i < m_sent.size(); ++i) {
            wait += (i == 0 ? " " : ",") + std::to_string(m_sent[i]);
        }
        m_waits.push_back(wait);
    }
    return onWaitUntilDelivered ? onWaitUntilDelivered(timeoutMs) : S_OK;
}

std::vector<std::string> FakeCamcorder::Waits() const {
    std::lock_guard lock(m_mutex);
    return m_waits;
}

HRESULT FakeCamcorder::DeliverSample(const std::vector<std::uint8_t>& data) {
    IMediaSample* raw = nullptr;
    HRESULT hr = m_pPin->GetDeliveryBuffer(&raw, nullptr, nullptr, 0);
    if (Failed(hr)) {
        return hr;
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    if (Failed(hr = sample->GetPointer(&buffer)) ||
        sample->GetSize() < static_cast<LONG>(data.size())) {
        return Failed(hr) ? hr : E_INVALIDARG;
    }
    std::copy(data.begin(), data.end(), buffer);
    (void)sample->SetActualDataLength(static_cast<LONG>(data.size()));
    return m_pPin->Deliver(sample.Get());
}

CBasePin* FakeCamcorder::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

HRESULT FakeCamcorder::GetCapability(LONG capability, LONG* value, double*) {
    if (capability == VORNAK_DEVCAP_OUTPUT_SIGNAL && outputSignal.load() != 0) {
        *value = outputSignal.load();
        return S_OK;
    }
    if (capability != ED_DEVCAP_DEVICE_TYPE) {
        return E_NOTIMPL;
    }
    if (Failed(deviceTypeResult.load())) {
        return deviceTypeResult.load();
    }
    *value = deviceType.load();
    return S_OK;
}

HRESULT FakeCamcorder::put_Mode(LONG newMode) {
    std::lock_guard lock(m_mutex);
    m_sent.push_back(newMode);
    mode.store(newMode);
    return S_OK;
}

HRESULT FakeCamcorder::get_Mode(LONG* current) {
    if (Failed(modeResult.load())) {
        return modeResult.load();
    }
    *current = mode.load();
    return S_OK;
}

HRESULT FakeCamcorder::GetTimecode(TIMECODE_SAMPLE* sample) {
    lastTimecodeFlags = sample->dwFlags;
    if (Failed(timecodeResult.load())) {
        return timecodeResult.load();
    }
    sample->timecode.dwFrames = timecode.load();
    return S_OK;
}

std::vector<LONG> FakeCamcorder::SentModes() const {
    std::lock_guard lock(m_mutex);
    return m_sent;
}

DeviceProblem FakeDeviceSource::ListingProblem() const {
    std::lock_guard lock(m_mutex);
    return m_problem;
}

void FakeDeviceSource::SetProblem(DeviceProblem problem) {
    std::lock_guard lock(m_mutex);
    m_problem = std::move(problem);
}

std::vector<DeviceDescription> FakeDeviceSource::ListDevices(const CLSID& category) {
    std::vector<DeviceDescription> out;
    if (category != CLSID_VideoInputDeviceCategory) {
        return out;
    }
    std::lock_guard lock(m_mutex);
    for (const FakeDevice& device : m_devices) {
        DeviceDescription description;
        if (device.hasPropertyBag) {
            std::map<std::string, std::string> properties{{kVendorTextProperty, device.vendor},
                                                          {kModelTextProperty, device.model}};
            if (!device.deviceClass.empty()) {
                properties[kDeviceClassGuidProperty] = device.deviceClass;
            }
            description.properties = std::move(properties);
        }
        description.bind = [this, device](IBaseFilter** filter) -> HRESULT {
            if (device.bindFails) {
                return E_FAIL;
            }
            ComPtr<FakeCamcorder> camcorder(new FakeCamcorder(device.faces));
            camcorder->outputSignal = device.outputSignal;
            {
                std::lock_guard boundLock(m_mutex);
                m_bound.push_back(camcorder);
            }
            return HandOut(static_cast<IBaseFilter*>(camcorder.Get()), filter);
        };
        out.push_back(std::move(description));
    }
    return out;
}

std::vector<FakeCamcorder*> FakeDeviceSource::Bound() const {
    std::lock_guard lock(m_mutex);
    std::vector<FakeCamcorder*> out;
    for (const auto& camcorder : m_bound) {
        out.push_back(camcorder.Get());
    }
    return out;
}

void FakeDeviceSource::SetDevices(std::vector<FakeDevice> devices) {
    std::lock_guard lock(m_mutex);
    m_devices = std::move(devices);
}

std::string CamcorderClassText() {
    return GuidToString(CLSID_CamcorderDeviceClass);
}

ScopedDeviceSources::ScopedDeviceSources(std::vector<std::shared_ptr<IDeviceSource>> sources) {
    SetDeviceSources(std::move(sources));
}

ScopedDeviceSources::~ScopedDeviceSources() {
    SetDeviceSources({});
}

}  // namespace vornak::test
