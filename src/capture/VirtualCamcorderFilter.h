// The virtual camcorder: a source filter that plays a transport-stream file as if it were the
// tape in a camcorder. One output pin, which delivers the tape's packets as source packets on
// a streaming thread at the tape's rate, or a multiple of it for tests and demos.
//
// Device detection, transport commands beyond play and stop, the timecode and the device type
// are added on top of the transport and the tape position kept here.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "CBaseFilter.h"
#include "ManualResetEvent.h"
#include "TapeTransport.h"
#include "VirtualTape.h"

namespace vornak {

class VirtualCamcorderPin;

class VirtualCamcorderFilter : public CBaseFilter {
  public:
    static constexpr std::size_t kDefaultPacketsPerSample = 256;

    // The new filter's count is 0; its creator takes the first reference.
    VirtualCamcorderFilter();
    ~VirtualCamcorderFilter() override;

    // Puts a tape in, wound to its start, transport stopped. False when it cannot be read.
    // Only while the graph is stopped: the streaming thread reads the tape.
    bool LoadTape(const std::string& path);
    const VirtualTape& Tape() const { return m_tape; }
    TapeTransport& Transport() { return m_transport; }

    // 1 plays at the tape's rate, 20 twenty times faster; 0 as fast as the sink takes it.
    void SetSpeed(double factor) { m_speed.store(factor, std::memory_order_relaxed); }
    double Speed() const { return m_speed.load(std::memory_order_relaxed); }
    // Source packets per sample; set before the output pin connects.
    void SetPacketsPerSample(std::size_t packets) { m_nPacketsPerSample = packets; }
    std::size_t PacketsPerSample() const { return m_nPacketsPerSample; }

    // Tape transport (the filter's own Stop, Pause and Run are the graph's states).
    void PlayTape();
    void StopTape() { m_transport.Stop(); }
    // True once the tape has played to its end since the last PlayTape.
    bool WaitForEndOfTape(std::chrono::milliseconds timeout) {
        return m_endOfTape.WaitFor(timeout);
    }
    // Packets delivered since the tape was loaded.
    std::uint64_t PacketsSent() const { return m_nSent.load(std::memory_order_relaxed); }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    VirtualCamcorderPin* GetOutputPin() const { return m_pPin.get(); }

    // For the output pin's streaming thread.
    void CountSent(std::uint64_t packets) { m_nSent.fetch_add(packets, std::memory_order_relaxed); }
    void SignalEndOfTape() { m_endOfTape.Set(); }

  private:
    VirtualTape m_tape;
    TapeTransport m_transport;
    std::atomic<double> m_speed{1.0};
    std::size_t m_nPacketsPerSample = kDefaultPacketsPerSample;
    ManualResetEvent m_endOfTape{"VirtualCamcorderEndOfTape"};
    std::atomic<std::uint64_t> m_nSent{0};
    std::unique_ptr<VirtualCamcorderPin> m_pPin;  // last: it stops streaming before the rest goes
};

}  // namespace vornak
