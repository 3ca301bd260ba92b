// The FireWire camcorder's output pin. While the filter is paused or running, a reception
// thread of its own opens a raw1394 handle on the camcorder's port, connects to its output plug
// (or listens on the broadcast channel when the camcorder has no plug registers), and runs
// libiec61883's MPEG-2 receiver: it polls the handle's descriptor (200 ms at a time), then lets
// libraw1394 process what arrived. The receiver's packets become whole 192-byte source packets,
// many to a sample; a sample is delivered when full, and a partly filled one when the stream
// pauses (a poll that times out), so the end of a scene is not held back.
//
// The thread stops on Inactive (which waits for it), when the camcorder is lost, or by itself
// when it finds the camcorder gone: its port cannot be opened, reception cannot start, the poll
// fails or hangs up, an event cannot be processed, or after a bus reset the camcorder's GUID is
// on no bus any more (or only on another port). It then reports the camcorder lost.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "CCamcorderStreamPin.h"
#include "FireWireLibrary.h"
#include "Guids.h"

namespace vornak {

class FireWireCamcorderFilter;
class SourcePacketAssembler;

class FireWireCapturePin : public CCamcorderStreamPin, private FireWireLibrary::PacketSink {
  public:
    static constexpr LONG kBufferCount = 16;
    static constexpr int kPollTimeoutMs = 200;
    // Where a camcorder without plug control registers sends.
    static constexpr int kBroadcastChannel = 63;

    FireWireCapturePin(FireWireCamcorderFilter* filter, CCriticalSection* lock);
    ~FireWireCapturePin() override;

    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // Starts the reception thread; E_DEVICE_NOT_CONNECTED once the camcorder is lost.
    HRESULT Active() override;
    // Stops the reception thread and waits for it.
    HRESULT Inactive() override;

    // True while the reception thread receives. Any thread.
    bool IsReceiving() const { return m_receiving.load(std::memory_order_acquire); }

  private:
    int OnTransportPackets(const std::uint8_t* data, int length, unsigned int dropped) override;
    void ReceptionThreadProc();
    // Receives until told to stop; false when it found the camcorder gone.
    bool ReceiveUntilStopped();
    void DeliverSample(const std::uint8_t* data, std::size_t size);
    void StopReception();

    FireWireCamcorderFilter* m_pOwner;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_receiving{false};
    // The reception thread's assembler while it receives; only that thread touches it.
    SourcePacketAssembler* m_pAssembler = nullptr;
};

}  // namespace vornak
