// A camcorder for the capture session and page tests: a source filter with a capture output
// pin and the device-control faces, each of which can be left out, that records the transport
// modes it is sent and answers the device type and timecode it is told. And a device source
// that lists such camcorders (or devices that are something else) in a given order.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CCamcorderFilter.h"
#include "CCamcorderStreamPin.h"
#include "DeviceCatalog.h"
#include "DeviceControl.h"

namespace vornak::test {

struct FakeCamcorderFaces {
    bool extDevice = true;
    bool transport = true;
    bool timecode = true;
    bool report = false;  // IDeviceReport
};

class FakeCamcorder;

class FakeCamcorderPin : public CCamcorderStreamPin {
  public:
    explicit FakeCamcorderPin(FakeCamcorder* filter);
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
};

class FakeCamcorder : public CCamcorderFilter, public IDeviceReport {
  public:
    explicit FakeCamcorder(FakeCamcorderFaces faces = {});
    ~FakeCamcorder() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return NonDelegatingQueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return NonDelegatingAddRef(); }
    ULONG Release() override { return NonDelegatingRelease(); }
    HRESULT GetDroppedPackets(std::uint64_t* count) override {
        *count = droppedPackets.load();
        return S_OK;
    }
    HRESULT SetLogHandler(std::function<void(const std::string&)> handler) override;
    // Records the wait, with the transport modes sent before it, then runs `onWaitUntilDelivered`
    // (S_OK without one).
    HRESULT WaitUntilDelivered(DWORD timeoutMs) override;
    std::function<HRESULT(DWORD)> onWaitUntilDelivered;
    // Each wait as "wait MS after MODE,MODE,...".
    std::vector<std::string> Waits() const;
    // Delivers `data` (whole source packets, at most a buffer's worth) as one sample.
    HRESULT DeliverSample(const std::vector<std::uint8_t>& data);
    // Passes `line` to the log handler, as the camcorder's threads do.
    void Say(const std::string& line);
    std::atomic<std::uint64_t> droppedPackets{0};

    // Only the faces it was given.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    HRESULT GetCapability(LONG capability, LONG* value, double* dblValue) override;
    HRESULT put_Mode(LONG mode) override;
    HRESULT get_Mode(LONG* mode) override;
    HRESULT GetTimecode(TIMECODE_SAMPLE* sample) override;

    // What the camcorder answers. A failing code makes the call fail.
    std::atomic<LONG> deviceType{ED_DEVTYPE_VCR};
    std::atomic<HRESULT> deviceTypeResult{S_OK};
    std::atomic<LONG> mode{ED_MODE_STOP};
    std::atomic<HRESULT> modeResult{S_OK};
    std::atomic<DWORD> timecode{0};
    std::atomic<HRESULT> timecodeResult{S_OK};
    // The output signal, VORNAK_SIGNAL_HDV or VORNAK_SIGNAL_DV; 0: it cannot tell (E_NOTIMPL).
    std::atomic<LONG> outputSignal{0};
    // Every mode put, in order.
    std::vector<LONG> SentModes() const;
    // The flags of the last timecode request.
    DWORD lastTimecodeFlags = 0;

  private:
    FakeCamcorderFaces m_faces;
    std::unique_ptr<FakeCamcorderPin> m_pPin;
    std::mutex m_logLock;
    std::function<void(const std::string&)> m_logHandler;
    mutable std::mutex m_mutex;
    std::vector<LONG> m_sent;
    std::vector<std::string> m_waits;
};

// One device as the device list shows it.
struct FakeDevice {
    std::string deviceClass;  // "DeviceClassGUID"; empty: the property is missing
    std::string vendor;
    std::string model;
    bool hasPropertyBag = true;
    bool bindFails = false;
    FakeCamcorderFaces faces;
    LONG outputSignal = 0;  // as FakeCamcorder::outputSignal, from the start
};

class FakeDeviceSource : public IDeviceSource {
  public:
    explicit FakeDeviceSource(std::vector<FakeDevice> devices) : m_devices(std::move(devices)) {}
    std::vector<DeviceDescription> ListDevices(const CLSID& category) override;
    DeviceProblem ListingProblem() const override;
    void SetProblem(DeviceProblem problem);

    // The filters bound so far, in order (references held by this source).
    std::vector<FakeCamcorder*> Bound() const;
    void SetDevices(std::vector<FakeDevice> devices);

  private:
    mutable std::mutex m_mutex;
    std::vector<FakeDevice> m_devices;
    std::vector<ComPtr<FakeCamcorder>> m_bound;
    DeviceProblem m_problem;
};

// The accepted camcorder class as its device property shows it.
std::string CamcorderClassText();

// Installs device sources for its lifetime, then puts back none.
class ScopedDeviceSources {
  public:
    explicit ScopedDeviceSources(std::vector<std::shared_ptr<IDeviceSource>> sources);
    ~ScopedDeviceSources();
    ScopedDeviceSources(const ScopedDeviceSources&) = delete;
    ScopedDeviceSources& operator=(const ScopedDeviceSources&) = delete;
};

}  // namespace vornak::test
