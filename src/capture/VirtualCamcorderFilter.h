// The virtual camcorder: a source filter that plays a transport-stream file, a raw DV file, or
// several such files one after the other, as if they were the tape in a camcorder. One output
// pin, which delivers the tape's packets as source packets and its DV frames one to a sample,
// on a streaming thread at the tape's rate, or a multiple of it for tests and demos.
//
// Beside the filter it answers the device control of a camcorder: the tape transport
// (IAMExtTransport), the timecode of the tape position (IAMTimecodeReader) and the device
// type and output signal (IAMExtDevice), tape playback or camera, HDV or DV. In camera mode it
// streams its tape from the start, over and over, as a camcorder streams what its lens sees, and
// refuses transport commands. It can be unplugged, on request or a set time after it starts
// running: then it stops streaming, tells its graph (EC_DEVICE_LOST) and fails every later control
// call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CCamcorderFilter.h"
#include "DeviceControl.h"
#include "ManualResetEvent.h"
#include "TapeTransport.h"
#include "VirtualCamcorderLossTimer.h"
#include "VirtualMixedTape.h"

namespace vornak {

class VirtualCamcorderPin;

class VirtualCamcorderFilter : public CCamcorderFilter {
  public:
    static constexpr std::size_t kDefaultPacketsPerSample = 256;

    // The new filter's count is 0; its creator takes the first reference.
    VirtualCamcorderFilter();
    ~VirtualCamcorderFilter() override;

    // Running starts the time after which the device is lost (SetLoseAfter); stopping ends it.
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT Stop() override;

    // IAMExtDevice: ED_DEVCAP_DEVICE_TYPE gives ED_DEVTYPE_VCR or ED_DEVTYPE_CAMERA,
    // ED_DEVCAP_TIMECODE_READ gives OATRUE, VORNAK_DEVCAP_OUTPUT_SIGNAL gives VORNAK_SIGNAL_DV
    // while the tape position lies in a DV part or stretch, else VORNAK_SIGNAL_HDV; anything else
    // E_NOTIMPL.
    HRESULT GetCapability(LONG Capability, LONG* pValue, double* pdblValue) override;
    // IAMExtTransport: the ED_MODE_* modes of DeviceControl.h; E_INVALIDARG for any other,
    // VFW_E_WRONG_STATE in camera mode.
    HRESULT put_Mode(LONG Mode) override;
    // Play also while the packets that reached the end of the tape are being delivered.
    HRESULT get_Mode(LONG* pMode) override;
    // IAMTimecodeReader: asked with dwFlags ED_DEVCAP_TIMECODE_READ, the timecode of the tape
    // position (VirtualMixedTape::TimecodeAt: a DV frame's own in DV parts).
    HRESULT GetTimecode(TIMECODE_SAMPLE* pTimecodeSample) override;

    // Puts a tape in, wound to its start, transport stopped: one file, or files separated by
    // commas played as one tape (VirtualMixedTape::SplitList). False when one cannot be read.
    // Only while the graph is stopped: the streaming thread reads the tape.
    bool LoadTape(const std::string& path);
    const VirtualMixedTape& Tape() const { return m_tape; }
    TapeTransport& Transport() { return m_transport; }

    // 1 plays at the tape's rate, 20 twenty times faster; 0 as fast as the sink takes it.
    // Winding runs at a multiple of the play rate; at 0 it winds as at 1.
    void SetSpeed(double factor) { m_transport.SetSpeed(factor); }
    double Speed() const { return m_transport.Speed(); }
    // Source packets per sample; set before the output pin connects.
    void SetPacketsPerSample(std::size_t packets) { m_nPacketsPerSample = packets; }
    std::size_t PacketsPerSample() const { return m_nPacketsPerSample; }

    // Tape transport (the filter's own Stop, Pause and Run are the graph's states); put_Mode
    // with ED_MODE_PLAY and ED_MODE_STOP.
    HRESULT PlayTape();
    HRESULT StopTape();
    // True once the tape has played to its end since the last PlayTape.
    bool WaitForEndOfTape(std::chrono::milliseconds timeout) {
        return m_endOfTape.WaitFor(timeout);
    }
    // Packets and DV frames delivered since the tape was loaded.
    std::uint64_t PacketsSent() const { return m_nSent.load(std::memory_order_relaxed); }

    // Switches between tape playback and camera mode; any thread, also while running.
    void SetCameraMode(bool on) { m_transport.SetCameraMode(on); }
    bool CameraMode() const { return m_transport.CameraMode(); }
    // Tape positions, in seconds, where DV recordings of TapeTransport::kDvStretchSeconds
    // each lie on the tape.
    void SetDvStretches(std::vector<double> startSeconds) {
        m_transport.SetDvStretches(std::move(startSeconds));
    }

    // Unplugs the device: any thread, at most once in effect. Calls the lost handler, then
    // posts EC_DEVICE_LOST (0, 0) to the graph.
    void LoseDevice();
    bool IsLost() const { return m_transport.Unplugged(); }
    // Loses the device this long after each run that follows a stop; none keeps it. Set
    // before the filter runs. Only positive finite times count.
    void SetLoseAfter(std::optional<double> seconds);
    // Called once, on the thread that loses the device, before the graph hears of it; set
    // before the filter runs.
    void SetLostHandler(std::function<void()> handler);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    VirtualCamcorderPin* GetOutputPin() const { return m_pPin.get(); }

    // For the output pin's streaming thread.
    void CountSent(std::uint64_t packets) { m_nSent.fetch_add(packets, std::memory_order_relaxed); }
    // Packets taken from the tape are on their way to the sink: play that stopped at the end
    // of the tape with them is still reported as play until they have arrived.
    void SetDelivering(bool delivering) {
        m_bDelivering.store(delivering, std::memory_order_release);
    }
    void SignalEndOfTape() { m_endOfTape.Set(); }

  private:
    VirtualMixedTape m_tape;
    TapeTransport m_transport;
    std::size_t m_nPacketsPerSample = kDefaultPacketsPerSample;
    ManualResetEvent m_endOfTape{"VirtualCamcorderEndOfTape"};
    std::atomic<std::uint64_t> m_nSent{0};
    std::atomic<bool> m_bDelivering{false};
    std::optional<double> m_loseAfter;
    std::mutex m_lostMutex;
    std::function<void()> m_lostHandler;
    std::unique_ptr<VirtualCamcorderPin> m_pPin;  // it stops streaming before the rest goes
    VirtualCamcorderLossTimer m_lossTimer;        // last: its thread ends before the rest goes
};

}  // namespace vornak
