#include "FireWireCapturePin.h"

#include <cstring>

#include "AvcCodes.h"
#include "FireWireCamcorderFilter.h"
#include "FireWireHandle.h"
#include "SourcePacketAssembler.h"
#include "ThreadStart.h"

namespace vornak {

FireWireCapturePin::FireWireCapturePin(FireWireCamcorderFilter* filter, CCriticalSection* lock)
    : CCamcorderStreamPin("FireWireCapturePin", filter, lock), m_pOwner(filter) {}

FireWireCapturePin::~FireWireCapturePin() {
    StopReception();
}

HRESULT FireWireCapturePin::DecideBufferSize(IMemAllocator* pAlloc,
                                             ALLOCATOR_PROPERTIES* pRequest) {
    const auto wanted =
        static_cast<LONG>(m_pOwner->PacketsPerSample() * SourcePacketAssembler::kSourcePacketSize);
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
        m_stop.store(false, std::memory_order_release);
        m_receiving.store(true, std::memory_order_release);
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
    // A thread waiting for an empty sample wakes when the allocator is decommitted.
    if (m_pAllocator) {
        m_pAllocator->Decommit();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void FireWireCapturePin::ReceptionThreadProc() {
    const bool gone = !ReceiveUntilStopped();
    m_receiving.store(false, std::memory_order_release);
    if (gone) {
        m_pOwner->DeviceLost();
    }
}

bool FireWireCapturePin::ReceiveUntilStopped() {
    FireWireLibrary& library = m_pOwner->Library();
    FireWireBus::Location where = m_pOwner->Link().CurrentLocation();
    FireWireHandle handle = FireWireHandle::OpenPort(m_pOwner->SharedLibrary(), where.port);
    if (!handle) {
        return false;  // the port's device node is gone
    }
    const FireWireLibrary::Handle raw = handle.Get();

    std::uint16_t local = library.GetLocalId(raw);
    int oplug = -1;
    int iplug = -1;
    int bandwidth = 0;
    int channel =
        library.CmpConnect(raw, avc::NodeId(where.node), &oplug, local, &iplug, &bandwidth);
    const bool connected = channel >= 0;
    if (!connected) {
        channel = kBroadcastChannel;
    }

    SourcePacketAssembler assembler(m_pOwner->PacketsPerSample(),
                                    [this](const std::uint8_t* data, std::size_t size,
                                           std::size_t) { DeliverSample(data, size); });
    m_pAssembler = &assembler;
    FireWireLibrary::Mpeg2Receiver receiver = library.Mpeg2RecvInit(raw, this);
    bool alive = receiver != nullptr && library.Mpeg2RecvStart(receiver, channel) == 0;
    const bool startFailed = !alive;
    unsigned int generation = library.GetGeneration(raw);
    const int fd = library.GetFd(raw);

    while (alive && !m_stop.load(std::memory_order_acquire) && !m_pOwner->IsLost()) {
        const FireWireLibrary::PollResult polled = library.Poll(fd, kPollTimeoutMs);
        if (polled == FireWireLibrary::PollResult::Failed) {
            alive = false;
        } else if (polled == FireWireLibrary::PollResult::TimedOut) {
            assembler.Flush();  // the stream paused: hand on what is here
        } else {
            if (const auto cycleTimer = library.ReadCycleTimer(raw)) {
                assembler.SetArrivalTime(*cycleTimer);
            }
            alive = library.LoopIterate(raw) >= 0;
            if (alive && library.GetGeneration(raw) != generation) {
                generation = library.GetGeneration(raw);
                // A bus reset: the nodes may be numbered anew, and the camcorder may be gone.
                const auto now = m_pOwner->Link().Relocate();
                alive = now.has_value() && now->port == where.port;
                if (alive) {
                    where = *now;
                }
                if (alive && connected) {
                    local = library.GetLocalId(raw);
                    (void)library.CmpReconnect(raw, avc::NodeId(where.node), &oplug, local, &iplug,
                                               &bandwidth, channel);
                }
            }
        }
    }

    if (receiver != nullptr) {
        library.Mpeg2RecvStop(receiver);
        library.Mpeg2Close(receiver);
    }
    assembler.Flush();
    m_pAssembler = nullptr;
    // Only while the node is known to be the camcorder: after a bus reset without it, its old
    // node id may belong to another device now.
    if (connected && (alive || startFailed) && !m_pOwner->IsLost()) {
        (void)library.CmpDisconnect(raw, avc::NodeId(where.node), oplug, local, iplug,
                                    static_cast<unsigned int>(channel),
                                    static_cast<unsigned int>(bandwidth));
    }
    return alive;
}

int FireWireCapturePin::OnTransportPackets(const std::uint8_t* data, int length, unsigned int) {
    if (m_pAssembler != nullptr) {
        m_pAssembler->Add(data, length);
    }
    return 0;
}

void FireWireCapturePin::DeliverSample(const std::uint8_t* data, std::size_t size) {
    IMediaSample* raw = nullptr;
    if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, 0)) || raw == nullptr) {
        return;  // decommitted: the pin is being stopped
    }
    const auto sample = ComPtr<IMediaSample>::Attach(raw);
    std::uint8_t* buffer = nullptr;
    if (Failed(sample->GetPointer(&buffer)) || sample->GetSize() < 0 ||
        static_cast<std::size_t>(sample->GetSize()) < size) {
        return;
    }
    std::memcpy(buffer, data, size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    (void)Deliver(sample.Get());
}

}  // namespace vornak
