#include "VirtualCamcorderPin.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "DifConstants.h"
#include "Guids.h"
#include "ILiveQueueRoom.h"
#include "ThreadStart.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"

namespace vornak {
namespace {

// IEEE 1394 cycle time as source packet headers carry it: 13 bits of cycle count (8000 per
// second) above 12 bits of cycle offset (3072 ticks of 24.576 MHz per cycle).
constexpr double kCycleTicksPerSecond = 24'576'000.0;
constexpr std::uint64_t kTicksPerCycle = 3072;
constexpr std::uint64_t kCyclesPerSecond = 8000;
constexpr int kCycleCountShift = 12;
// A crawling speed factor waits no longer than this for a sample (the clock's arithmetic
// would overflow); nobody waits for it anyway.
constexpr double kLongestPacingSeconds = 1e9;
// How long one wait for room in the sink's queue lasts before the thread looks whether it is
// being stopped.
constexpr std::chrono::milliseconds kRoomWait{50};

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

VirtualCamcorderPin::VirtualCamcorderPin(VirtualCamcorderFilter* filter, CCriticalSection* lock)
    : CCamcorderStreamPin("VirtualCamcorderPin", filter, lock), m_pOwner(filter) {}

VirtualCamcorderPin::~VirtualCamcorderPin() {
    StopStreaming();
}

HRESULT VirtualCamcorderPin::DecideBufferSize(IMemAllocator* pAlloc,
                                              ALLOCATOR_PROPERTIES* pRequest) {
    const auto wanted = static_cast<LONG>(BufferSize(m_pOwner->PacketsPerSample()));
    pRequest->cBuffers = kBufferCount;
    pRequest->cbBuffer = wanted;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (Failed(hr)) {
        return hr;
    }
    return actual.cbBuffer < wanted ? E_FAIL : S_OK;
}

HRESULT VirtualCamcorderPin::Active() {
    const HRESULT hr = CBaseOutputPin::Active();
    if (Failed(hr)) {
        return hr;
    }
    if (!m_thread.joinable()) {
        m_pOwner->Transport().Resume();
        m_thread = StartThread(ThreadPriority::AboveNormal, [this] { StreamingThreadProc(); });
    }
    return hr;
}

HRESULT VirtualCamcorderPin::Run(REFERENCE_TIME) {
    m_bRunState.store(true, std::memory_order_release);
    // Time spent paused is not owed to the sink as a burst of packets.
    m_pOwner->Transport().RestartPacing();
    return S_OK;
}

HRESULT VirtualCamcorderPin::Inactive() {
    StopStreaming();
    return CBaseOutputPin::Inactive();
}

void VirtualCamcorderPin::StopStreaming() {
    m_bRunState.store(false, std::memory_order_release);
    m_pOwner->Transport().Interrupt();
    // A thread waiting for an empty sample wakes when the allocator is decommitted.
    if (m_pAllocator) {
        m_pAllocator->Decommit();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::size_t VirtualCamcorderPin::BufferSize(std::size_t packetsPerSample) {
    return std::max(packetsPerSample * kSourcePacketSize, dv::kMaxFrameSize);
}

std::uint32_t VirtualCamcorderPin::ArrivalStamp(std::uint64_t packet, double bitRate) {
    const double seconds = static_cast<double>(packet * PKT_SIZE * 8) / bitRate;
    const auto ticks = static_cast<std::uint64_t>(seconds * kCycleTicksPerSecond);
    const std::uint64_t cycles = (ticks / kTicksPerCycle) % kCyclesPerSecond;
    return static_cast<std::uint32_t>((cycles << kCycleCountShift) | (ticks % kTicksPerCycle));
}

void VirtualCamcorderPin::StreamingThreadProc() {
    using Clock = TapeTransport::Clock;
    TapeTransport& transport = m_pOwner->Transport();
    const VirtualMixedTape& tape = m_pOwner->Tape();
    const std::vector<TapeTransport::Part> parts = transport.Parts();
    const std::size_t perSample = m_pOwner->PacketsPerSample();
    auto packets = std::make_unique_for_overwrite<std::uint8_t[]>(perSample * PKT_SIZE);
    // Played as fast as it is taken, the tape waits for room in a sink's bounded queue rather
    // than overrun it: a file can wait, so nothing of it need be lost.
    ComPtr<ILiveQueueRoom> room;
    if (m_pInputPin) {
        (void)m_pInputPin->QueryInterface(IID_ILiveQueueRoom, room.ReceiveVoid());
    }

    // Pacing restarts whenever play (or the speed, or the camera mode) does: the schedule
    // counts the playing time of what was sent since then, part by part (each part's units
    // are counted whole and divided once, so that whole seconds come out exact). Each sample
    // waits for its time before its units are taken from the tape, so that the position never
    // runs ahead of the stream, and a stop or a wind in the meantime leaves them on the tape.
    std::uint64_t generation = 0;
    bool started = false;
    Clock::time_point epoch;
    double secondsBeforePart = 0;  // of the parts sent from before the current one
    std::size_t pacedPart = 0;
    std::uint64_t unitsInPart = 0;
    // Where the last sample ended on the tape: a sample that starts elsewhere (a wind, the
    // camera mode starting the tape over, a DV stretch passed over) is a discontinuity.
    std::optional<std::uint64_t> nextPosition;
    const auto partSeconds = [&](std::size_t part, std::uint64_t units) {
        return static_cast<double>(units * parts[part].timeNumerator) / parts[part].timeDenominator;
    };

    while (
        transport.WaitForStream([this] { return m_bRunState.load(std::memory_order_acquire); })) {
        const TapeTransport::Generation current = transport.CurrentGeneration();
        if (!started || current.number != generation) {
            started = true;
            generation = current.number;
            epoch = current.since;
            secondsBeforePart = 0;
            unitsInPart = 0;
        }
        const double speed = transport.Speed();
        if (speed > 0) {
            const TapeTransport::Claim next = transport.NextClaim(perSample);
            if (next.count > 0 && next.part != pacedPart && next.part < parts.size()) {
                secondsBeforePart += partSeconds(pacedPart, unitsInPart);
                pacedPart = next.part;
                unitsInPart = 0;
            }
            const double seconds =
                secondsBeforePart == 0
                    ? static_cast<double>((unitsInPart + next.count) *
                                          parts[pacedPart].timeNumerator) /
                          (parts[pacedPart].timeDenominator * speed)
                    : (secondsBeforePart + partSeconds(pacedPart, unitsInPart + next.count)) /
                          speed;
            const std::chrono::duration<double> due(std::min(seconds, kLongestPacingSeconds));
            if (!transport.SleepUntil(epoch + std::chrono::duration_cast<Clock::duration>(due),
                                      generation)) {
                break;
            }
            if (transport.PlayGeneration() != generation) {
                continue;  // stopped, wound or restarted while waiting
            }
        } else if (room) {
            if (!WaitForRoom(*room.Get())) {
                break;
            }
            if (transport.PlayGeneration() != generation) {
                continue;
            }
        }
        IMediaSample* raw = nullptr;
        if (Failed(GetDeliveryBuffer(&raw, nullptr, nullptr, 0)) || raw == nullptr) {
            break;  // decommitted: the pin is being stopped
        }
        const auto sample = ComPtr<IMediaSample>::Attach(raw);
        std::uint8_t* buffer = nullptr;
        if (Failed(sample->GetPointer(&buffer)) ||
            static_cast<std::size_t>(sample->GetSize()) < BufferSize(perSample)) {
            break;
        }
        // Until these units are delivered the camcorder still reports play, even where they
        // end the tape: whoever stops the capture at the end of the tape gets them first.
        m_pOwner->SetDelivering(true);
        const TapeTransport::Claim claim = transport.TakePackets(perSample, generation);
        if (claim.count == 0 || claim.part >= tape.PartCount()) {
            m_pOwner->SetDelivering(false);
            continue;  // stopped in the meantime
        }
        if (claim.part != pacedPart) {
            secondsBeforePart += partSeconds(pacedPart, unitsInPart);
            pacedPart = claim.part;
            unitsInPart = 0;
        }
        unitsInPart += claim.count;
        const VirtualTape& part = tape.Part(claim.part);
        std::size_t count = 0;
        if (claim.dv) {
            // The frame goes out as it is on the tape, the whole of it in one sample.
            count = part.Read(claim.partFirst, 1, buffer);
            sample->SetActualDataLength(static_cast<LONG>(count * part.UnitSize()));
        } else {
            count = part.Read(claim.partFirst, claim.count, packets.get());
            for (std::size_t i = 0; i < count; ++i) {
                std::uint8_t* out = buffer + i * kSourcePacketSize;
                PutBigEndian32(out, ArrivalStamp(claim.stamp + i, part.BitRate()));
                std::memcpy(out + kSourceHeaderSize, packets.get() + i * PKT_SIZE, PKT_SIZE);
            }
            sample->SetActualDataLength(static_cast<LONG>(count * kSourcePacketSize));
        }
        (void)sample->SetDiscontinuity(nextPosition != claim.first);
        nextPosition = claim.first + count;
        if (count > 0) {
            (void)Deliver(sample.Get());
            m_pOwner->CountSent(count);
        }
        m_pOwner->SetDelivering(false);
        if (claim.reachedEnd || count < claim.count) {
            // End of the tape (a read error ends it early, as a torn tape would).
            if (!claim.reachedEnd) {
                transport.Stop();
            }
            (void)DeliverEndOfStream();
            m_pOwner->SignalEndOfTape();
        }
    }
}

bool VirtualCamcorderPin::WaitForRoom(ILiveQueueRoom& room) const {
    TapeTransport& transport = m_pOwner->Transport();
    const std::uint64_t generation = transport.PlayGeneration();
    while (room.WaitForRoom(kRoomWait) != S_OK) {
        if (!m_bRunState.load(std::memory_order_acquire)) {
            return false;
        }
        if (transport.PlayGeneration() != generation) {
            return true;  // stopped or wound meanwhile: the caller looks again
        }
    }
    return true;
}

}  // namespace vornak
