#include "FireWireCapturePin.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "AvcCodes.h"
#include "DeviceControl.h"
#include "FireWireCamcorderFilter.h"
#include "FireWireHandle.h"
#include "MessageText.h"
#include "ThreadStart.h"

namespace vornak {
namespace {

constexpr char kStartFailed[] =
    "ERROR: The camcorder's stream can't be received on FireWire channel %d (%s).";
constexpr char kReconnectFailed[] =
    "ERROR: The camcorder's connection could not be restored after a FireWire bus reset.";
constexpr char kChannelChanged[] =
    "ERROR: After a FireWire bus reset the camcorder sends on channel %d instead of %d.";

constexpr std::uint8_t kSyncByte = 0x47;
// The DIF blocks one DV payload carries, and the whole source packets the MPEG-2 receiver cuts
// out of it.
constexpr std::size_t kDvPayloadSize = dv::DvFrameAssembler::kPayloadSize;
constexpr std::size_t kPiecesPerDvPayload = kDvPayloadSize / SourcePacketQueue::kSourcePacketSize;

std::uint64_t PayloadsPerFrame(dv::DvSystem system) {
    return dv::FrameSizeOf(system) / kDvPayloadSize;
}

// A payload of whole source packets (a transport stream's isochronous packet), as told by the
// sync byte after each source packet header.
// A payload that begins a DV frame: its first block is the header block of sequence 0.
bool BeginsDvFrame(const std::uint8_t* data, std::size_t length) {
    return length >= dv::kBlockSize &&
           data[dv::kIdTypeByte] >> dv::kIdTypeShift == dv::kTypeHeader &&
           data[dv::kIdSequenceByte] >> dv::kIdSequenceShift == 0 &&
           data[dv::kIdBlockNumberByte] == 0;
}

dv::DvSystem SystemOfHeader(const std::uint8_t* block) {
    return (block[dv::kHeaderDsfByte] & dv::kDsfBit) != 0 ? dv::DvSystem::k625_50
                                                          : dv::DvSystem::k525_60;
}

bool LooksLikeSourcePackets(const std::uint8_t* data, std::size_t length) {
    constexpr std::size_t kSize = SourcePacketQueue::kSourcePacketSize;
    if (length < kSize) {
        return false;
    }
    for (std::size_t at = 0; at + kSize <= length; at += kSize) {
        if (data[at + SourcePacketQueue::kHeaderSize] != kSyncByte) {
            return false;
        }
    }
    return true;
}

}  // namespace

FireWireCapturePin::FireWireCapturePin(FireWireCamcorderFilter* filter, CCriticalSection* lock)
    : CCamcorderStreamPin("FireWireCapturePin", filter, lock),
      m_pOwner(filter),
      m_queue(
          filter->PacketsPerSample(),
          (filter->QueuePackets() + filter->PacketsPerSample() - 1) / filter->PacketsPerSample()),
      m_dvQueue(filter->QueueFrames(), dv::kMaxFrameSize) {
    m_queue.ShareOrder(&m_nextOrder);
}

FireWireCapturePin::~FireWireCapturePin() {
    StopReception();
}

HRESULT FireWireCapturePin::DecideBufferSize(IMemAllocator* pAlloc,
                                             ALLOCATOR_PROPERTIES* pRequest) {
    // A sample holds a block of source packets or one whole DV frame.
    const auto wanted = static_cast<LONG>(std::max(
        m_pOwner->PacketsPerSample() * SourcePacketQueue::kSourcePacketSize, dv::kMaxFrameSize));
    pRequest->cBuffers = kBufferCount;
    pRequest->cbBuffer = wanted;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (Failed(hr)) {
        return hr;
    }
    return actual.cbBuffer < wanted ? E_FAIL : S_OK;
}

HRESULT FireWireCapturePin::Active() {
    if (m_pOwner->IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    const HRESULT hr = CBaseOutputPin::Active();
    if (Failed(hr)) {
        return hr;
    }
    if (!m_thread.joinable()) {
        m_queue.Clear();
        m_dvQueue.Clear();
        {
            std::lock_guard lock(m_wakeLock);
            m_receptionEnded = false;
            m_deliveryEnded = false;
            m_handedOn = 0;
            m_writtenOff = 0;
        }
        m_stop.store(false, std::memory_order_release);
        m_stopDelivery.store(false, std::memory_order_release);
        m_receiving.store(true, std::memory_order_release);
        m_deliveryThread =
            StartThread(ThreadPriority::AboveNormal, [this] { DeliveryThreadProc(); });
        m_thread = StartThread(ThreadPriority::AboveNormal, [this] { ReceptionThreadProc(); });
    }
    return hr;
}

HRESULT FireWireCapturePin::Inactive() {
    StopReception();
    return CBaseOutputPin::Inactive();
}

void FireWireCapturePin::StopReception() {
    m_stop.store(true, std::memory_order_release);
    WakeDelivery();
    if (m_thread.joinable() || m_deliveryThread.joinable()) {
        // What came before the stop goes to the sink, while it takes it.
        std::unique_lock lock(m_wakeLock);
        m_wake.wait_for(lock, kDrainLimit, [this] { return m_deliveryEnded; });
    }
    m_stopDelivery.store(true, std::memory_order_release);
    WakeDelivery();
    // A delivery waiting for an empty sample wakes when the allocator is decommitted.
    if (m_pAllocator) {
        m_pAllocator->Decommit();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_deliveryThread.joinable()) {
        m_deliveryThread.join();
    }
    // What the reception thread sealed after the delivery thread gave up.
    FinishDropped(m_queue.DropReady() + m_dvQueue.DropReady());
}

bool FireWireCapturePin::WaitUntilDelivered(std::chrono::milliseconds timeout) {
    // Packets and frames, numbered alike as they leave.
    const std::uint64_t received = m_queue.StoredPackets() + m_dvQueue.StoredFrames();
    std::unique_lock lock(m_wakeLock);
    if (m_wake.wait_for(lock, timeout, [&] { return m_deliveryEnded || m_handedOn >= received; })) {
        return true;
    }
    // What has not left by now reaches the sink too late for whoever waited: lost to them.
    const std::uint64_t from = std::max(m_handedOn, m_writtenOff);
    if (received > from) {
        m_lostPackets.fetch_add(received - from, std::memory_order_relaxed);
        m_writtenOff = received;
    }
    return false;
}

std::uint64_t FireWireCapturePin::Finished(std::uint64_t packets, std::uint64_t lost) {
    const std::uint64_t end = m_handedOn + packets;
    const std::uint64_t firstLost = end - lost;
    m_handedOn = end;
    return m_writtenOff > firstLost ? std::min(end, m_writtenOff) - firstLost : 0;
}

void FireWireCapturePin::FinishDropped(std::uint64_t packets) {
    {
        std::lock_guard lock(m_wakeLock);
        m_recounted.fetch_add(Finished(packets, packets), std::memory_order_release);
    }
    m_wake.notify_all();
}

void FireWireCapturePin::WakeDelivery() {
    {
        std::lock_guard lock(m_wakeLock);
        ++m_wakeCount;
    }
    m_wake.notify_all();
}

void FireWireCapturePin::ReceptionThreadProc() {
    const bool gone = !ReceiveUntilStopped();
    m_queue.Seal();
    {
        // What came before the end is delivered before anyone hears of the end.
        std::unique_lock lock(m_wakeLock);
        m_receptionEnded = true;
        ++m_wakeCount;
        m_wake.notify_all();
        m_wake.wait(lock, [this] { return m_deliveryEnded; });
    }
    m_receiving.store(false, std::memory_order_release);
    if (gone) {
        m_pOwner->DeviceLost();
    }
}

bool FireWireCapturePin::ReceiveUntilStopped() {
    FireWireLibrary& library = m_pOwner->Library();
    Connection connection;
    connection.where = m_pOwner->Link().CurrentLocation();
    FireWireHandle handle =
        FireWireHandle::OpenPort(m_pOwner->SharedLibrary(), connection.where.port);
    if (!handle) {
        return false;  // the port's device node is gone
    }
    const FireWireLibrary::Handle raw = handle.Get();
    const std::uint16_t camcorder = avc::NodeId(connection.where.node);

    connection.generation = library.GetGeneration(raw);
    connection.local = library.GetLocalId(raw);
    // Counts left over from a program that ended without disconnecting would otherwise keep
    // the plug from being connected, or keep it transmitting after us.
    (void)library.CmpNormalizeOutput(raw, camcorder);
    const int channel = library.CmpConnect(raw, camcorder, &connection.oplug, connection.local,
                                           &connection.iplug, &connection.bandwidth);
    connection.connected = channel >= 0;
    connection.channel = connection.connected ? channel : kBroadcastChannel;

    m_assembler = std::make_unique<dv::DvFrameAssembler>(
        [this](const dv::DvAssembledFrame& frame) { OnDvFrame(frame); });
    m_switchTo.reset();
    m_heldBack.clear();
    m_heldPieces = 0;
    m_heldPayloads.clear();
    m_piecesLostToSwitch = 0;
    m_arrivals = 0;
    m_awaitFrameStart = true;
    m_countSkipped = false;
    m_skippedPayloads = 0;
    m_dvFrames = 0;
    m_payloadsInFrame = 0;
    Receiver receiver;
    receiver.wire = AskSignal().value_or(Wire::Mpeg2);
    int startError = StartReceiver(raw, receiver, connection.channel);
    if (startError != 0) {
        // Not a lost camcorder: most often another program receives on the channel.
        m_pOwner->StreamFailed(
            MessageText(kStartFailed, connection.channel, std::strerror(startError)));
    }
    bool alive = startError == 0;
    const int fd = library.GetFd(raw);
    m_pace = ReceptionPace{};
    auto lastCheck = std::chrono::steady_clock::now();
    auto lastProbe = lastCheck;
    std::uint64_t arrivalsAtProbe = 0;

    while (alive && !m_stop.load(std::memory_order_acquire) && !m_pOwner->IsLost()) {
        const FireWireLibrary::PollResult polled = library.Poll(fd, kPollTimeoutMs);
        if (polled == FireWireLibrary::PollResult::Failed) {
            alive = false;
            break;
        }
        if (polled == FireWireLibrary::PollResult::TimedOut) {
            FlushReceived();  // the stream paused: hand on what is here
            // While a connection is being restored the same stream goes on afterwards: what it
            // lost meanwhile is told by its counters, or counted by the pace.
            m_pace.TimedOut(std::chrono::milliseconds(kPollTimeoutMs));
            if (!m_pace.Restoring()) {
                m_queue.MarkBreak();
                m_dvQueue.MarkBreak();
            }
            WakeDelivery();
            // A tape that changed its kind while silent: the camcorder says what it plays now.
            const auto now = std::chrono::steady_clock::now();
            if (m_arrivals > arrivalsAtProbe ||
                (m_arrivals > 0 && now - lastProbe >= kSignalProbeInterval)) {
                arrivalsAtProbe = m_arrivals;
                lastProbe = now;
                if (const auto wire = AskSignal(); wire && *wire != receiver.wire) {
                    PrepareSwitch(*wire);
                }
            }
        } else {
            if (const auto cycleTimer = library.ReadCycleTimer(raw)) {
                m_queue.SetArrivalTime(*cycleTimer);
            }
            m_iterationTime = std::chrono::steady_clock::now();
            alive = library.LoopIterate(raw) >= 0;
            // The delivery thread has work once a whole sample waits.
            if (m_queue.ReadyBlocks() > 0 || m_dvQueue.ReadyFrames() > 0) {
                WakeDelivery();
            }
        }
        if (alive && m_switchTo) {
            CloseReceiver(receiver);
            receiver.wire = *m_switchTo;
            m_switchTo.reset();
            m_pace = ReceptionPace{};  // the other stream has a pace of its own
            m_switches.fetch_add(1, std::memory_order_relaxed);
            startError = StartReceiver(raw, receiver, connection.channel);
            if (startError != 0) {
                m_pOwner->StreamFailed(
                    MessageText(kStartFailed, connection.channel, std::strerror(startError)));
                alive = false;
                break;
            }
            WakeDelivery();
        }
        const auto now = std::chrono::steady_clock::now();
        if (alive && (library.GetGeneration(raw) != connection.generation ||
                      now - lastCheck >= kResetCheckInterval)) {
            lastCheck = now;
            const Followed followed = FollowBusReset(raw, receiver, connection);
            alive = followed != Followed::Gone;
            if (followed == Followed::Reset) {
                m_pace.BusReset();
            }
        }
    }

    CloseReceiver(receiver);
    FlushReceived();
    SettleDvLosses();
    // Only while the node is known to be the camcorder: after a bus reset without it, its old
    // node id may belong to another device now.
    if (connection.connected && (alive || startError != 0) && !m_pOwner->IsLost()) {
        (void)library.CmpDisconnect(raw, avc::NodeId(connection.where.node), connection.oplug,
                                    connection.local, connection.iplug,
                                    static_cast<unsigned int>(connection.channel),
                                    static_cast<unsigned int>(connection.bandwidth));
    }
    return alive || startError != 0;
}

std::optional<FireWireCapturePin::Wire> FireWireCapturePin::AskSignal() {
    LONG signal = 0;
    if (Failed(m_pOwner->Link().GetOutputSignal(&signal))) {
        return std::nullopt;
    }
    return signal == VORNAK_SIGNAL_DV ? Wire::Dv : Wire::Mpeg2;
}

int FireWireCapturePin::StartReceiver(FireWireLibrary::Handle raw, Receiver& receiver,
                                      int channel) {
    FireWireLibrary& library = m_pOwner->Library();
    if (receiver.wire == Wire::Dv) {
        receiver.dv = library.DvRecvInit(raw, this);
        return receiver.dv != nullptr ? library.DvRecvStart(receiver.dv, channel) : ENOMEM;
    }
    receiver.mpeg2 = library.Mpeg2RecvInit(raw, this);
    return receiver.mpeg2 != nullptr ? library.Mpeg2RecvStart(receiver.mpeg2, channel) : ENOMEM;
}

void FireWireCapturePin::CloseReceiver(Receiver& receiver) {
    FireWireLibrary& library = m_pOwner->Library();
    if (receiver.mpeg2 != nullptr) {
        library.Mpeg2RecvStop(receiver.mpeg2);
        library.Mpeg2Close(receiver.mpeg2);
        receiver.mpeg2 = nullptr;
    }
    if (receiver.dv != nullptr) {
        library.DvRecvStop(receiver.dv);
        library.DvClose(receiver.dv);
        receiver.dv = nullptr;
    }
}

void FireWireCapturePin::FlushReceived() {
    ReleasePieces();
    for (const auto& payload : m_heldPayloads) {
        if (m_assembler) {
            m_assembler->Push(payload);
        }
    }
    m_heldPayloads.clear();
    if (m_assembler) {
        m_assembler->Flush();
    }
    m_queue.Seal();
    // What resumes may begin within a frame; it counts as lost when DV has flowed before.
    m_countSkipped = m_countSkipped || m_dvFrames > 0;
    m_awaitFrameStart = true;
}

void FireWireCapturePin::PrepareSwitch(Wire wire) {
    if (wire == Wire::Dv) {
        // The transport packets before the DV go first; the DV stream is a new one.
        m_heldBack.clear();
        m_heldPieces = 0;
        m_queue.Seal();
        m_dvQueue.MarkBreak();
        // The frame the switch cut into is lost, whatever of it is still to come.
        m_awaitFrameStart = true;
        m_countSkipped = true;
    } else {
        // The last DV frame goes as it is, before the transport packets that came after it.
        m_assembler->Flush();
        SettleDvLosses();
        m_queue.Seal();
        m_queue.MarkBreak();
        for (const auto& payload : m_heldPayloads) {
            AddSourcePackets(payload.data(), payload.size());
        }
        m_heldPayloads.clear();
    }
    m_switchTo = wire;
}

void FireWireCapturePin::SettleDvLosses() {
    // Pieces no DV frame came after were transport packets after all (a stretch of damaged
    // HDV taken for DV), or DV that never made a frame: lost either way.
    m_lostPackets.fetch_add(m_piecesLostToSwitch, std::memory_order_relaxed);
    m_piecesLostToSwitch = 0;
    if (m_skippedPayloads > 0 && m_countSkipped) {
        m_lostPackets.fetch_add(1, std::memory_order_relaxed);  // a frame begun, never laid
    }
    m_skippedPayloads = 0;
}

void FireWireCapturePin::HoldBackPiece(const std::uint8_t* data, int length) {
    m_heldBack.insert(m_heldBack.end(), data, data + length);
    ++m_heldPieces;
}

void FireWireCapturePin::ReleasePieces() {
    constexpr std::size_t kPacket = SourcePacketQueue::kTransportPacketSize;
    for (std::size_t i = 0; i < m_heldPieces; ++i) {
        (void)m_queue.Add(m_heldBack.data() + i * kPacket, static_cast<int>(kPacket));
    }
    m_heldBack.clear();
    m_heldPieces = 0;
}

void FireWireCapturePin::AddSourcePackets(const std::uint8_t* data, std::size_t length) {
    constexpr std::size_t kSize = SourcePacketQueue::kSourcePacketSize;
    for (std::size_t at = 0; at + kSize <= length; at += kSize) {
        (void)m_queue.Add(data + at + SourcePacketQueue::kHeaderSize,
                          static_cast<int>(SourcePacketQueue::kTransportPacketSize));
    }
}

FireWireCapturePin::Followed FireWireCapturePin::FollowBusReset(FireWireLibrary::Handle raw,
                                                                Receiver& receiver,
                                                                Connection& connection) {
    FireWireLibrary& library = m_pOwner->Library();
    // The link finds the camcorder by GUID on a handle that starts from the bus's generation
    // now; a generation error on its way counts as a bus reset too.
    unsigned int generation = 0;
    const auto now = m_pOwner->Link().Relocate(&generation);
    if (!now || now->port != connection.where.port) {
        return Followed::Gone;
    }
    const unsigned int own = library.GetGeneration(raw);
    if (generation == connection.generation && own == connection.generation &&
        *now == connection.where) {
        return Followed::NoReset;  // no reset since the last look
    }
    // This handle may not have heard of the reset: its requests must carry the generation
    // the camcorder was found under.
    if (own != generation && generation != 0) {
        library.UpdateGeneration(raw, generation);
    }
    connection.generation = library.GetGeneration(raw);
    connection.where = *now;
    if (!connection.connected) {
        return Followed::Reset;
    }
    connection.local = library.GetLocalId(raw);
    const int channel = library.CmpReconnect(raw, avc::NodeId(connection.where.node),
                                             &connection.oplug, connection.local, &connection.iplug,
                                             &connection.bandwidth, connection.channel);
    if (channel < 0) {
        // Nothing more of the tape comes: the run must not end as if it had.
        m_pOwner->Report(kReconnectFailed);
        return Followed::Gone;
    }
    if (channel != connection.channel) {
        m_pOwner->Report(MessageText(kChannelChanged, channel, connection.channel));
        // The stream goes on where the camcorder sends it now.
        CloseReceiver(receiver);
        connection.channel = channel;
        if (StartReceiver(raw, receiver, channel) != 0) {
            return Followed::Gone;
        }
    }
    return Followed::Reset;
}

int FireWireCapturePin::OnTransportPackets(const std::uint8_t* data, int length,
                                           unsigned int dropped) {
    constexpr auto kPacket = static_cast<int>(SourcePacketQueue::kTransportPacketSize);
    if (m_switchTo) {
        // DV after the switch was decided: lost with the switch.
        m_piecesLostToSwitch += length >= kPacket ? 1 : 0;
        return 0;
    }
    if (dropped > 0) {
        // The kernel counts isochronous packets, one a bus cycle, each holding source packets
        // of the stream; the gap they leave is counted here, not again downstream.
        const auto packets = static_cast<std::uint64_t>(std::llround(
            static_cast<double>(dropped) * m_pace.PacketsPerSecond() / kCyclesPerSecond));
        m_lostPackets.fetch_add(std::max<std::uint64_t>(packets, dropped),
                                std::memory_order_relaxed);
        m_queue.Seal();
        m_queue.MarkBreak();
    }
    if (data != nullptr && length >= kPacket && data[0] != kSyncByte) {
        // DV through the MPEG-2 receiver, or a damaged packet: kept back until the next
        // packet tells which.
        HoldBackPiece(data, kPacket);
        ++m_arrivals;
        if (m_heldPieces >= kSwitchRun) {
            m_piecesLostToSwitch += m_heldPieces;
            PrepareSwitch(Wire::Dv);
        }
        return 0;
    }
    ReleasePieces();
    if (length >= kPacket) {
        ++m_arrivals;
        const auto packets = static_cast<std::size_t>(length) / static_cast<std::size_t>(kPacket);
        if (const std::uint64_t lost = m_pace.Arrived(packets, m_iterationTime)) {
            // A long pause after a bus reset, which the consumer would take as a break.
            m_lostPackets.fetch_add(lost, std::memory_order_relaxed);
            m_queue.Seal();
            m_queue.MarkBreak();
        }
    }
    (void)m_queue.Add(data, length);
    return 0;
}

int FireWireCapturePin::OnDvPayload(const std::uint8_t* data, int length, unsigned int dropped) {
    const bool begins =
        data != nullptr && length > 0 && BeginsDvFrame(data, static_cast<std::size_t>(length));
    if (begins) {
        m_dvSystem = SystemOfHeader(data);
    }
    const std::uint64_t perFrame = PayloadsPerFrame(m_dvSystem);
    bool gap = false;
    if (dropped > 0 && !m_switchTo) {
        // Each a payload of the stream (or an empty cycle): the frames they cut into are
        // counted as they are delivered damaged, and each frame's worth more as a frame lost.
        m_lostPackets.fetch_add(dropped / perFrame, std::memory_order_relaxed);
        gap = true;
    }
    if (data != nullptr && length > 0) {
        const auto size = static_cast<std::size_t>(length);
        ++m_arrivals;
        if (LooksLikeSourcePackets(data, size)) {
            // A transport stream through the DV receiver: its packets are whole, and kept.
            if (m_switchTo) {
                AddSourcePackets(data, size);
            } else {
                m_heldPayloads.emplace_back(data, data + size);
                if (m_heldPayloads.size() >= kSwitchRun) {
                    PrepareSwitch(Wire::Mpeg2);
                }
            }
        } else if (!m_switchTo) {
            for (const auto& payload : m_heldPayloads) {
                m_assembler->Push(payload);  // DV after all, by chance like source packets
            }
            m_heldPayloads.clear();
            if (m_awaitFrameStart && !begins) {
                // A frame already begun when the stream (re)started: no frame to lay it in.
                ++m_skippedPayloads;
                if (gap) {
                    m_dvQueue.MarkBreak();
                }
                return 0;
            }
            if (m_awaitFrameStart) {
                m_awaitFrameStart = false;
                if (m_skippedPayloads > 0 && m_countSkipped) {
                    m_lostPackets.fetch_add(1 + m_skippedPayloads / perFrame,
                                            std::memory_order_relaxed);
                    gap = true;
                }
                m_skippedPayloads = 0;
            }
            if (const std::uint64_t lost = m_pace.Arrived(1, m_iterationTime)) {
                // A long pause after a bus reset: its payloads in frames, a part counting whole.
                m_lostPackets.fetch_add((lost + perFrame - 1) / perFrame,
                                        std::memory_order_relaxed);
                gap = true;
            }
            // The wire keeps its packets in order: a frame's first payload ends the frame
            // before, even when that one lost its own first payload, whose empty places would
            // otherwise take this frame's first blocks. (A payload that came twice is left to
            // the assembler.)
            if (begins && m_payloadsInFrame > 1) {
                m_assembler->Flush();
            }
            m_payloadsInFrame = begins ? 1 : m_payloadsInFrame + 1;
            m_assembler->Push(std::span(data, size));
        }
    }
    if (gap && !m_awaitFrameStart) {
        // After the push: the frame this payload is in is the first after the gap.
        m_dvQueue.MarkBreak();
    }
    return 0;
}

void FireWireCapturePin::OnDvFrame(const dv::DvAssembledFrame& frame) {
    m_dvSystem = frame.system;
    ++m_dvFrames;
    if (m_piecesLostToSwitch > 0) {
        // Whole frames that went to the MPEG-2 receiver before the switch; the one cut into
        // is this one, counted as damaged.
        const std::uint64_t piecesPerFrame = kPiecesPerDvPayload * PayloadsPerFrame(frame.system);
        m_lostPackets.fetch_add(m_piecesLostToSwitch / piecesPerFrame, std::memory_order_relaxed);
        m_piecesLostToSwitch = 0;
    }
    if (m_dvQueue.Add(frame.bytes, m_nextOrder++) && frame.missingBlocks > 0) {
        m_lostPackets.fetch_add(1, std::memory_order_relaxed);
    }
}

void FireWireCapturePin::DeliveryThreadProc() {
    std::uint64_t seen = 0;
    for (;;) {
        bool ended = false;
        {
            std::unique_lock lock(m_wakeLock);
            m_wake.wait(lock, [&] { return m_wakeCount != seen; });
            seen = m_wakeCount;
            ended = m_receptionEnded;
        }
        while (!m_stopDelivery.load(std::memory_order_acquire) &&
               m_queue.ReadyBlocks() + m_dvQueue.ReadyFrames() > 0) {
            if (!DeliverSample()) {
                break;
            }
        }
        if (ended || m_stopDelivery.load(std::memory_order_acquire)) {
            break;
        }
    }
    // Whatever the sink was not given is lost, and counted.
    FinishDropped(m_queue.DropReady() + m_dvQueue.DropReady());
    {
        std::lock_guard lock(m_wakeLock);
        m_deliveryEnded = true;
    }
    m_wake.notify_all();
}

bool FireWireCapturePin::DeliverSample() {
    IMediaSample* raw = nullptr;
    if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, 0)) || raw == nullptr) {
        return false;  // decommitted: the pin is being stopped
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    if (Failed(sample->GetPointer(&buffer)) || sample->GetSize() < 0) {
        return false;
    }
    // Blocks and frames in the order they were published.
    const auto blockOrder = m_queue.FrontOrder();
    const auto frameOrder = m_dvQueue.FrontOrder();
    const bool frame = frameOrder && (!blockOrder || *frameOrder < *blockOrder);
    const auto room = static_cast<std::size_t>(sample->GetSize());
    bool gap = false;
    std::size_t packets = 0;  // units left: transport packets, or one frame
    std::size_t bytes = 0;
    if (frame) {
        bytes = m_dvQueue.Take(buffer, room, &gap);
        packets = bytes > 0 ? 1 : 0;
    } else {
        packets = m_queue.Take(buffer, room / SourcePacketQueue::kSourcePacketSize, &gap);
        bytes = packets * SourcePacketQueue::kSourcePacketSize;
    }
    if (packets == 0) {
        return false;
    }
    sample->SetActualDataLength(static_cast<LONG>(bytes));
    (void)sample->SetDiscontinuity(gap);
    const bool refused = Failed(Deliver(sample.Get()));
    {
        std::lock_guard lock(m_wakeLock);
        if (refused) {
            m_lostPackets.fetch_add(packets - Finished(packets, packets),
                                    std::memory_order_relaxed);
        } else {
            (void)Finished(packets, 0);
        }
    }
    m_wake.notify_all();  // a wait for what came before may be over
    return true;
}

}  // namespace vornak
