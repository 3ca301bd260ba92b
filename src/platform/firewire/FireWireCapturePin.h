// The FireWire camcorder's output pin. While the filter is paused or running, two threads of
// its own carry the stream:
//  - the reception thread opens a raw1394 handle on the camcorder's port, connects to its
//    output plug (or listens on the broadcast channel when the camcorder has no plug
//    registers), and runs libiec61883's MPEG-2 receiver (or its DV receiver: see DV below): it
//    polls the handle's descriptor (200 ms at a time), then lets libraw1394 process what
//    arrived. The receiver's callback only copies each packet into a SourcePacketQueue (about
//    3 s of HDV) and returns, so the kernel's receive ring is emptied however slow the consumer
//    is;
//  - the delivery thread takes whole 192-byte source packets from the queue, many to a sample,
//    and delivers them; a partly filled sample goes out when the stream pauses (a poll that
//    times out), so the end of a scene is not held back. A sample that follows packets thrown
//    away or such a pause is marked as a discontinuity.
//
// Loss. Every packet that does not reach the sink is counted (the filter's
// IDeviceReport::GetDroppedPackets): packets the queue had no room for; isochronous packets the
// kernel reports dropped (each a bus cycle of the stream, at the stream's rate: see
// ReceptionPace); samples the sink refuses; what still waits when the pin stops and cannot
// be delivered within kDrainLimit; and what a wait for delivery (the capture's stop, through
// WaitUntilDelivered) found still held back when it timed out. Otherwise a stop delivers
// everything received before it.
//
// Bus resets. The reception thread takes a change of its handle's generation, or a generation
// error of the camcorder's link (every 250 ms it asks the link where the camcorder is), as a
// bus reset: it moves its handle to the bus's generation, follows the camcorder to its new node
// number, and redoes the connection with iec61883_cmp_reconnect (following the stream to a new
// channel when the camcorder moved it). The packets the camcorder sent meanwhile are missing
// from the stream that resumes: a short pause while the connection is restored is not marked
// as a break, so that the consumer's continuity check counts them by the stream's own counters
// and clock; a long one is counted here by its length (see ReceptionPace). A connection that
// cannot be restored loses the rest of the tape: the camcorder is reported lost.
//
// The threads stop on Inactive (which waits for them), when the camcorder is lost, or by
// themselves when the camcorder is gone: its port cannot be opened, the poll fails or hangs up,
// an event cannot be processed, or after a bus reset its GUID is on no bus any more (or only
// on another port) or its connection cannot be restored; the pin then reports the camcorder
// lost. Reception that cannot start (another program receiving on the channel, say) is not a
// loss: its reason goes to the log and the graph gets EC_ERRORABORT.
//
// DV. A camcorder that plays DV sends DV on the same channel. The pin runs one libiec61883
// receiver at a time, the DV one or the MPEG-2 one: at the start the one the camcorder's output
// signal mode names (MPEG-2 when it names none), later the one the wire asks for. The receivers
// take the CIP header off and neither looks at its format, so each sees the other's stream in
// its own way: the MPEG-2 receiver hands DV on as 188-byte pieces without the transport
// stream's sync byte, the DV receiver hands transport packets on as payloads of whole source
// packets. kSwitchRun such pieces or payloads in a row switch the receivers (stop one, start the
// other on the channel, after the loop iteration that found them). Fewer are what they seemed:
// a damaged transport packet goes on as it came. Payloads of source packets that came through
// the DV receiver are kept as transport packets, so the switch to HDV loses nothing; the DV
// pieces that came through the MPEG-2 receiver are lost, with the rest of that iteration, and so
// is the frame the DV receiver then starts within: the frames of the switch, counted. While the
// stream is silent after it flowed, the camcorder's output signal mode is asked again (at the
// first poll that times out, then every kSignalProbeInterval), for a camcorder whose other
// stream reaches neither receiver.
//
// DV payloads (480 bytes, six DIF blocks) are assembled into frames by dv::DvFrameAssembler,
// from a frame's first payload on: after the start, a pause or a switch, payloads of a frame
// already begun are skipped (counted as a lost frame, except at the start of reception). The
// assembler is flushed when the stream pauses, at a switch and at the end, so the last frame is
// never held back. Frames are queued whole in a DvFrameQueue (about 3 s) and each sample carries
// exactly one, so the pin's buffers hold at least a 625/50 frame. Transport packet blocks and DV
// frames are numbered in one order as they are published and delivered in it. DV losses are
// counted in frames (DroppedPackets): a frame delivered with missing blocks (marked as damage by
// the assembler), a frame the queue had no room for, each frame's worth of isochronous packets
// the kernel dropped, the frames a long pause after a bus reset took, and those of a switch.
// The first frame after a loss, a pause or a switch is marked a discontinuity, and so is the
// first transport packet block after DV.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "CCamcorderStreamPin.h"
#include "DifConstants.h"
#include "DvFrameAssembler.h"
#include "DvFrameQueue.h"
#include "FireWireBus.h"
#include "FireWireLibrary.h"
#include "Guids.h"
#include "ReceptionPace.h"
#include "SourcePacketQueue.h"

namespace vornak {

class FireWireCamcorderFilter;

class FireWireCapturePin : public CCamcorderStreamPin,
                           private FireWireLibrary::PacketSink,
                           private FireWireLibrary::DvSink {
  public:
    static constexpr LONG kBufferCount = 16;
    static constexpr int kPollTimeoutMs = 200;
    // Where a camcorder without plug control registers sends.
    static constexpr int kBroadcastChannel = 63;
    // About 3 s of HDV (25 Mbit/s): a disk that stalls that long loses nothing.
    static constexpr std::size_t kQueuePackets = 50000;
    // How often the reception thread asks whether a bus reset has gone by unseen.
    static constexpr std::chrono::milliseconds kResetCheckInterval{250};
    // How long a stop waits for the sink to take what is still queued.
    static constexpr std::chrono::seconds kDrainLimit{10};
    // Bus cycles a second: an isochronous packet the kernel dropped held a cycle's worth of the
    // stream, on average.
    static constexpr double kCyclesPerSecond = 8000;
    // About 3 s of 625/50 DV.
    static constexpr std::size_t kDvQueueFrames = 75;
    // Pieces of the other format in a row that make the pin switch receivers: chance bytes of
    // one stream that look like the other's never come that many times in a row.
    static constexpr std::size_t kSwitchRun = 8;
    // How often the output signal mode is asked while the stream is silent.
    static constexpr std::chrono::seconds kSignalProbeInterval{1};

    FireWireCapturePin(FireWireCamcorderFilter* filter, CCriticalSection* lock);
    ~FireWireCapturePin() override;

    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // Starts the threads; E_DEVICE_NOT_CONNECTED once the camcorder is lost.
    HRESULT Active() override;
    // Stops the threads and waits for them.
    HRESULT Inactive() override;

    // Waits until every packet received before the call has left for the sink (delivered,
    // refused or thrown away), or `timeout` has passed: false then, and what is still held back
    // is counted as dropped (once, however it leaves later). At once when the pin does not
    // stream. Any thread but the pin's own; never holds up reception.
    bool WaitUntilDelivered(std::chrono::milliseconds timeout);
    // True while the reception thread receives. Any thread.
    bool IsReceiving() const { return m_receiving.load(std::memory_order_acquire); }
    // Packets lost on the way to the sink since the pin was made: thrown away because the queue
    // was full or the sink did not take them at a stop, and those the kernel dropped. Any
    // thread.
    std::uint64_t DroppedPackets() const {
        // First: the queue's count it corrects is already in what is read after it.
        const std::uint64_t recounted = m_recounted.load(std::memory_order_acquire);
        return m_queue.DroppedPackets() + m_dvQueue.DroppedFrames() +
               m_lostPackets.load(std::memory_order_relaxed) - recounted;
    }
    // Times the pin has switched between the DV and the MPEG-2 receiver. Any thread.
    std::uint64_t ReceiverSwitches() const { return m_switches.load(std::memory_order_relaxed); }

  private:
    // Where the stream comes from, kept up to date across bus resets.
    struct Connection {
        FireWireBus::Location where;
        unsigned int generation = 0;
        bool connected = false;  // through the plugs, not the broadcast channel
        std::uint16_t local = 0;
        int oplug = -1;
        int iplug = -1;
        int bandwidth = 0;
        int channel = kBroadcastChannel;
    };

    enum class Wire { Mpeg2, Dv };
    // The receiver running, of either kind; the reception thread's.
    struct Receiver {
        Wire wire = Wire::Mpeg2;
        FireWireLibrary::Mpeg2Receiver mpeg2 = nullptr;
        FireWireLibrary::DvReceiver dv = nullptr;
    };

    int OnTransportPackets(const std::uint8_t* data, int length, unsigned int dropped) override;
    int OnDvPayload(const std::uint8_t* data, int length, unsigned int dropped) override;
    void OnDvFrame(const dv::DvAssembledFrame& frame);
    // Keeps back a piece of the MPEG-2 receiver's without the sync byte: DV, or a damaged packet.
    void HoldBackPiece(const std::uint8_t* data, int length);
    // Hands the pieces held back on as the transport packets they turned out to be.
    void ReleasePieces();
    // The transport packets in a payload of whole source packets.
    void AddSourcePackets(const std::uint8_t* data, std::size_t length);
    // Gets ready to switch to `wire` after the loop iteration: what belongs to the stream
    // before goes on first.
    void PrepareSwitch(Wire wire);
    // Counts what a switch to DV cost that no DV frame has accounted for: before a switch back,
    // and at the end.
    void SettleDvLosses();
    // Everything received so far goes on: the stream paused or ends.
    void FlushReceived();
    // Starts `receiver.wire`'s receiver on `channel`: 0, or the system's error number.
    int StartReceiver(FireWireLibrary::Handle raw, Receiver& receiver, int channel);
    void CloseReceiver(Receiver& receiver);
    // The output signal mode as a wire; none when the camcorder cannot tell.
    std::optional<Wire> AskSignal();
    void ReceptionThreadProc();
    enum class Followed { NoReset, Reset, Gone };
    // Receives until told to stop; false when it found the camcorder gone.
    bool ReceiveUntilStopped();
    // After a bus reset (or to check for one); Gone when the camcorder or its stream is.
    Followed FollowBusReset(FireWireLibrary::Handle raw, Receiver& receiver,
                            Connection& connection);
    void DeliveryThreadProc();
    // Delivers the oldest waiting block as one sample; false when none went out.
    bool DeliverSample();
    void WakeDelivery();
    // Under m_wakeLock: `packets` more have left the queue, the last `lost` of them without
    // reaching the sink; returns how many of those a timed-out wait has counted already.
    std::uint64_t Finished(std::uint64_t packets, std::uint64_t lost);
    // Counts `packets` the queue threw away once they were no longer to be delivered.
    void FinishDropped(std::uint64_t packets);
    void StopReception();

    FireWireCamcorderFilter* m_pOwner;
    std::thread m_thread;
    std::thread m_deliveryThread;
    std::atomic<bool> m_stop{false};          // the reception thread ends
    std::atomic<bool> m_stopDelivery{false};  // the delivery thread ends, queue or not
    std::atomic<bool> m_receiving{false};
    std::atomic<std::uint64_t> m_lostPackets{0};
    // Packets the queue counted as dropped that a timed-out wait had counted already.
    std::atomic<std::uint64_t> m_recounted{0};
    // The reception thread's: when the current loop iteration began, and the stream's pace.
    std::chrono::steady_clock::time_point m_iterationTime{};
    ReceptionPace m_pace;
    // Emptied on Active, before the threads start: the reception thread fills it, the
    // delivery thread empties it.
    SourcePacketQueue m_queue;
    DvFrameQueue m_dvQueue;
    // The reception thread's: the order blocks and frames are published in, the DV assembly,
    // and what the receivers' callbacks found.
    std::uint64_t m_nextOrder = 0;
    std::unique_ptr<dv::DvFrameAssembler> m_assembler;
    dv::DvSystem m_dvSystem = dv::DvSystem::k625_50;  // of the last DV frame
    std::optional<Wire> m_switchTo;
    std::vector<std::uint8_t> m_heldBack;  // the MPEG-2 receiver's pieces without a sync byte
    std::size_t m_heldPieces = 0;
    std::vector<std::vector<std::uint8_t>> m_heldPayloads;  // the DV receiver's source packets
    std::uint64_t m_piecesLostToSwitch = 0;
    // DV payloads are laid into frames from a frame's start on: at the start of reception,
    // after a pause and after a switch the first frame may be cut, and is skipped (and counted
    // as lost unless reception has just started).
    bool m_awaitFrameStart = true;
    bool m_countSkipped = false;
    std::uint64_t m_skippedPayloads = 0;
    std::uint64_t m_dvFrames = 0;         // assembled in this reception
    std::uint64_t m_payloadsInFrame = 0;  // pushed since the last that began a frame
    std::uint64_t m_arrivals = 0;         // callbacks that brought something
    std::atomic<std::uint64_t> m_switches{0};

    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::uint64_t m_wakeCount = 0;  // guarded by m_wakeLock
    bool m_receptionEnded = false;  // guarded by m_wakeLock
    bool m_deliveryEnded = true;    // guarded by m_wakeLock; no delivery thread yet
    // The queue's packets (numbered as it stores them) that have left it, and those up to
    // which a timed-out wait counted the rest as dropped; guarded by m_wakeLock.
    std::uint64_t m_handedOn = 0;
    std::uint64_t m_writtenOff = 0;
};

}  // namespace vornak
