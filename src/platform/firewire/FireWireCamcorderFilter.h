// A camcorder on the FireWire bus as a source filter: one capture output pin delivering the
// MPEG-2 transport stream or the DV frames the camcorder plays from tape, and the camcorder's tape
// transport, device type and timecode through IAMExtDevice, IAMExtTransport and IAMTimecodeReader.
//
// The filter follows its camcorder by GUID across bus resets. When the camcorder goes (see
// FireWireCamcorderLink and FireWireCapturePin for what counts), the stream stops, the graph
// gets EC_DEVICE_LOST (0, 0) once, and every later call fails with E_DEVICE_NOT_CONNECTED.
//
// Threads: GetCapability, put_Mode, get_Mode, GetTimecode, IsLost, DeviceLost and the
// IDeviceReport methods may be called from any thread at any time, streaming included (the wait
// for delivery not from within the sink's Receive). Stop, Pause, Run and the pin's connection
// are the graph's, called from one thread at a time, as for every filter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "CCamcorderFilter.h"
#include "DeviceControl.h"
#include "FireWireBus.h"
#include "FireWireCamcorderLink.h"
#include "FireWireLibrary.h"

namespace vornak {

class FireWireCapturePin;

class FireWireCamcorderFilter : public CCamcorderFilter, public IDeviceReport {
  public:
    // About 15 ms of HDV (25 Mbit/s) per sample.
    static constexpr std::size_t kDefaultPacketsPerSample = 256;
    // How capabilities say "yes".
    static constexpr LONG kOaTrue = -1;

    // The camcorder with `guid`, last seen at `location`. The new filter's count is 0; its
    // creator takes the first reference.
    // `queuePackets`: room between the receive callback and delivery (0: about 3 s of HDV);
    // `queueFrames` the same for DV frames (0: about 3 s of DV).
    FireWireCamcorderFilter(std::shared_ptr<FireWireLibrary> library, std::uint64_t guid,
                            FireWireBus::Location location,
                            std::size_t packetsPerSample = kDefaultPacketsPerSample,
                            std::size_t queuePackets = 0, std::size_t queueFrames = 0);
    ~FireWireCamcorderFilter() override;

    // ED_DEVCAP_DEVICE_TYPE: ED_DEVTYPE_VCR in tape playback, else ED_DEVTYPE_CAMERA.
    // VORNAK_DEVCAP_OUTPUT_SIGNAL: VORNAK_SIGNAL_HDV or VORNAK_SIGNAL_DV, as the camcorder's
    // output signal mode says (E_NOTIMPL when it cannot tell).
    // ED_DEVCAP_TIMECODE_READ: kOaTrue. Others: E_NOTIMPL.
    HRESULT GetCapability(LONG Capability, LONG* pValue, double* pdblValue) override;
    // Play and freeze are refused (VFW_E_WRONG_STATE) and not sent unless the camcorder
    // reports tape playback at that moment.
    HRESULT put_Mode(LONG Mode) override;
    HRESULT get_Mode(LONG* pMode) override;
    // Asked with dwFlags ED_DEVCAP_TIMECODE_READ; the time in timecode.dwFrames.
    HRESULT GetTimecode(TIMECODE_SAMPLE* pTimecodeSample) override;

    // IUnknown for every face, IDeviceReport beside the camcorder's.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // The packets (DV: frames) the output pin lost or delivered damaged; see FireWireCapturePin.
    HRESULT GetDroppedPackets(std::uint64_t* pCount) override;
    HRESULT SetLogHandler(std::function<void(const std::string&)> handler) override;
    // Waits for the receive queue to hand on what it held at the call.
    HRESULT WaitUntilDelivered(DWORD timeoutMs) override;
    // Passes a message to the log handler, if there is one. Any thread.
    void Report(const std::string& message);
    // Reception could not start: the reason goes to the log, and the graph gets EC_ERRORABORT.
    void StreamFailed(const std::string& message);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    FireWireCapturePin* GetOutputPin() const { return m_pPin.get(); }

    std::uint64_t Guid() const { return m_link.Guid(); }
    bool IsLost() const { return m_link.IsLost(); }
    // The camcorder is gone: the stream stops and the graph hears of it, once.
    void DeviceLost();

    // For the output pin's reception thread.
    FireWireLibrary& Library() const { return *m_library; }
    const std::shared_ptr<FireWireLibrary>& SharedLibrary() const { return m_library; }
    FireWireCamcorderLink& Link() { return m_link; }
    std::size_t PacketsPerSample() const { return m_packetsPerSample; }
    std::size_t QueuePackets() const { return m_queuePackets; }
    std::size_t QueueFrames() const { return m_queueFrames; }

  private:
    std::shared_ptr<FireWireLibrary> m_library;
    const std::size_t m_packetsPerSample;
    const std::size_t m_queuePackets;
    const std::size_t m_queueFrames;
    FireWireCamcorderLink m_link;
    std::atomic<bool> m_lossReported{false};
    std::mutex m_logLock;  // held while the handler runs, so that replacing it waits
    std::function<void(const std::string&)> m_logHandler;
    std::unique_ptr<FireWireCapturePin> m_pPin;  // last: it stops receiving before the rest goes
};

}  // namespace vornak
