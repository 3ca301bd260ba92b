// The virtual camcorder's output pin: while the graph runs and the tape plays, a streaming
// thread of its own reads packets from the tape and delivers them as 192-byte source packets
// (a 4-byte arrival time stamp, then the transport packet), many to a sample, and DV frames
// as they are on the tape, exactly one to a sample, paced at each part's rate times the
// camcorder's speed factor. In camera mode it streams the tape from its
// start in a loop instead. Its category is capture, so that a capture graph builder finds it.
// At speed 0 (as fast as the sink takes it) it waits for room in a sink that offers
// ILiveQueueRoom, so that a bounded queue there is never overrun.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "CCamcorderStreamPin.h"

namespace vornak {

class ILiveQueueRoom;
class VirtualCamcorderFilter;

class VirtualCamcorderPin : public CCamcorderStreamPin {
  public:
    static constexpr LONG kBufferCount = 16;
    static constexpr std::size_t kSourcePacketSize = 192;
    static constexpr std::size_t kSourceHeaderSize = 4;

    VirtualCamcorderPin(VirtualCamcorderFilter* filter, CCriticalSection* lock);
    ~VirtualCamcorderPin() override;

    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // Paused: the streaming thread starts and waits. Running: it sends while the tape plays
    // or the camcorder is in camera mode.
    // Stopped: it ends, and is waited for.
    HRESULT Active() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT Inactive() override;

    // The source packet header of the packet at tape position `packet`: the bus cycle time at
    // which it would arrive, the tape being played from its start at `bitRate` (in camera
    // mode `packet` counts the packets sent since the mode began).
    static std::uint32_t ArrivalStamp(std::uint64_t packet, double bitRate);
    // Bytes of each sample: room for `packetsPerSample` source packets or one whole DV frame.
    static std::size_t BufferSize(std::size_t packetsPerSample);

  private:
    void StreamingThreadProc();
    void StopStreaming();
    // Waits until the sink has room for a sample; false when the pin is being stopped.
    bool WaitForRoom(ILiveQueueRoom& room) const;

    VirtualCamcorderFilter* m_pOwner;
    std::thread m_thread;
    std::atomic<bool> m_bRunState{false};
};

}  // namespace vornak
