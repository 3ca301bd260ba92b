#include "CMpeg2Demultiplexer.h"

#include <algorithm>

#include "CMpeg2DemuxInputPin.h"
#include "CMpeg2DemuxOutputPin.h"
#include "DvFrameReader.h"
#include "Guids.h"
#include "PesHeader.h"
#include "Pids.h"
#include "TransportPacket.h"

namespace vornak {
namespace {

constexpr std::int64_t kReferenceTimePerSecond = 10'000'000;  // 100 ns units
// DV frame rates: 25 frames a second, and 30000 every 1001 seconds.
constexpr std::int64_t kDvRate625 = 25;
constexpr std::int64_t kDvRate525 = 30000;
constexpr std::int64_t kDvRateScale525 = 1001;

// Where DV frame `n` of a stretch starts, counted without adding up rounded durations.
REFERENCE_TIME DvFrameStart(std::int64_t n, bool is625) {
    return is625 ? n * kReferenceTimePerSecond / kDvRate625
                 : (n * kReferenceTimePerSecond * kDvRateScale525 + kDvRate525 / 2) / kDvRate525;
}

// A 33-bit time stamp times 10^7 stays far inside 64 bits.
std::optional<REFERENCE_TIME> ToReferenceTime(const std::optional<std::int64_t>& pts) {
    if (!pts) {
        return std::nullopt;
    }
    return *pts * kReferenceTimePerSecond / PesHeader::kPtsClock;
}

}  // namespace

CMpeg2Demultiplexer::CMpeg2Demultiplexer()
    : CBaseFilter("CMpeg2Demultiplexer", nullptr, CLSID_MPEG2Demultiplexer),
      m_pInput(std::make_unique<CMpeg2DemuxInputPin>(this)) {}

CMpeg2Demultiplexer::~CMpeg2Demultiplexer() {
    m_outputs.clear();
    m_retired.clear();
    m_pInput.reset();
}

HRESULT CMpeg2Demultiplexer::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CMpeg2Demultiplexer::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CMpeg2Demultiplexer::Release() {
    return NonDelegatingRelease();
}

HRESULT CMpeg2Demultiplexer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IMpeg2Demultiplexer) {
        return GetInterface(static_cast<IMpeg2Demultiplexer*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CMpeg2Demultiplexer::GetPinCount() {
    CAutoLock lock(*Lock());
    return 1 + static_cast<int>(m_outputs.size());
}

CBasePin* CMpeg2Demultiplexer::GetPin(int n) {
    CAutoLock lock(*Lock());
    if (n == 0) {
        return m_pInput.get();
    }
    if (n < 0 || static_cast<std::size_t>(n) > m_outputs.size()) {
        return nullptr;
    }
    return m_outputs[static_cast<std::size_t>(n - 1)].get();
}

LONG CMpeg2Demultiplexer::GetPinVersion() {
    CAutoLock lock(*Lock());
    return m_pinVersion;
}

CMpeg2DemuxOutputPin* CMpeg2Demultiplexer::FindOutputPin(const std::string& name) const {
    for (const auto& pin : m_outputs) {
        if (pin->Name() == name) {
            return pin.get();
        }
    }
    return nullptr;
}

HRESULT CMpeg2Demultiplexer::CreateOutputPin(const AM_MEDIA_TYPE* pMediaType,
                                             const std::string& pszPinName, IPin** ppIPin) {
    if (pMediaType == nullptr || ppIPin == nullptr) {
        return E_POINTER;
    }
    *ppIPin = nullptr;
    CAutoLock lock(*Lock());
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (pszPinName.empty() || pszPinName == kInputPinName || FindOutputPin(pszPinName) != nullptr) {
        return E_INVALIDARG;
    }
    auto pin = std::make_unique<CMpeg2DemuxOutputPin>(this, *pMediaType, pszPinName);
    if (!pin->OfferedType().IsValid()) {
        return E_OUTOFMEMORY;  // the type's copy lost its format block or never had a major type
    }
    {
        // The streaming thread walks the outputs under the stream lock alone.
        std::lock_guard stream(m_streamLock);
        m_outputs.push_back(std::move(pin));
    }
    ++m_pinVersion;
    return HandOut(static_cast<IPin*>(m_outputs.back().get()), ppIPin);
}

HRESULT CMpeg2Demultiplexer::DeleteOutputPin(const std::string& pszPinName) {
    CAutoLock lock(*Lock());
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    auto found = std::find_if(m_outputs.begin(), m_outputs.end(),
                              [&](const auto& pin) { return pin->Name() == pszPinName; });
    if (found == m_outputs.end()) {
        return VFW_E_NOT_FOUND;
    }
    CMpeg2DemuxOutputPin* pin = found->get();
    if (IPin* peer = pin->GetConnected()) {
        peer->Disconnect();
        pin->Disconnect();
    }
    {
        std::lock_guard stream(m_streamLock);
        std::erase_if(m_routes, [&](const auto& entry) { return entry.second.pin == pin; });
        m_retired.push_back(std::move(*found));
        m_outputs.erase(found);
    }
    ++m_pinVersion;
    return S_OK;
}

HRESULT CMpeg2Demultiplexer::Pause() {
    CAutoLock lock(*Lock());
    if (IsStopped()) {
        ResetStreams();
    }
    return CBaseFilter::Pause();
}

void CMpeg2Demultiplexer::MapPids(std::span<const ULONG> pids, CMpeg2DemuxOutputPin* pin) {
    std::lock_guard stream(m_streamLock);
    for (const ULONG pid : pids) {
        Route& route = m_routes[static_cast<std::uint16_t>(pid)];
        route.pin = pin;
        route.assembler = std::make_unique<PesAssembler>(m_statistics);
    }
}

void CMpeg2Demultiplexer::UnmapPids(std::span<const ULONG> pids, const CMpeg2DemuxOutputPin* pin) {
    std::lock_guard stream(m_streamLock);
    for (const ULONG pid : pids) {
        if (pid > PID_MAX) {
            continue;
        }
        const auto route = m_routes.find(static_cast<std::uint16_t>(pid));
        if (route != m_routes.end() && route->second.pin == pin) {
            m_routes.erase(route);
        }
    }
}

void CMpeg2Demultiplexer::ResetStreams() {
    std::lock_guard stream(m_streamLock);
    m_framer.Reset();
    for (auto& [pid, route] : m_routes) {
        route.assembler->Reset();
    }
    m_dvFrames.reset();
}

void CMpeg2Demultiplexer::ProcessStream(std::span<const std::uint8_t> data) {
    std::lock_guard stream(m_streamLock);
    if (dv::IsWholeDvFrame(data)) {
        HandleDvFrame(data);
        return;
    }
    m_dvFrames.reset();
    const std::uint64_t runsBefore = m_framer.SkippedRuns();
    m_framer.Feed(data, [this](std::span<const std::uint8_t> packet) { HandlePacket(packet); });
    m_statistics.damagedPackets.fetch_add(m_framer.SkippedRuns() - runsBefore,
                                          std::memory_order_relaxed);
}

void CMpeg2Demultiplexer::HandlePacket(std::span<const std::uint8_t> bytes) {
    const std::optional<TransportPacket> packet = TransportPacket::Parse(bytes);
    if (!packet) {
        m_statistics.damagedPackets.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const auto found = m_routes.find(packet->pid());
    if (found == m_routes.end()) {
        return;
    }
    CMpeg2DemuxOutputPin* pin = found->second.pin;
    found->second.assembler->Push(*packet, [pin](const PesPayload& payload) {
        pin->DeliverPayload(payload.data, ToReferenceTime(payload.pts));
    });
}

void CMpeg2Demultiplexer::HandleDvFrame(std::span<const std::uint8_t> frame) {
    if (!m_dvFrames) {
        // The tape turned to DV: the last pictures and sound of the transport stream are whole,
        // and a packet begun before the frame will never be finished.
        FinishPayloads();
        m_framer.Reset();
        m_dvFrames = 0;
    }
    const bool is625 = frame.size() == dv::kFrameSize625;
    const REFERENCE_TIME start = DvFrameStart(*m_dvFrames, is625);
    const REFERENCE_TIME stop = DvFrameStart(++*m_dvFrames, is625);
    std::vector<CMpeg2DemuxOutputPin*> delivered;
    for (const auto& [pid, route] : m_routes) {
        CMpeg2DemuxOutputPin* pin = route.pin;
        const GUID& major = pin->OfferedType().majortype;
        if ((major != MEDIATYPE_Video && major != MEDIATYPE_Audio) ||
            std::find(delivered.begin(), delivered.end(), pin) != delivered.end()) {
            continue;  // a pin mapped to several PIDs takes the frame once
        }
        delivered.push_back(pin);
        pin->DeliverWhole(frame, start, stop);
    }
}

void CMpeg2Demultiplexer::FinishPayloads() {
    for (auto& [pid, route] : m_routes) {
        CMpeg2DemuxOutputPin* pin = route.pin;
        route.assembler->Finish([pin](const PesPayload& payload) {
            pin->DeliverPayload(payload.data, ToReferenceTime(payload.pts));
        });
    }
}

void CMpeg2Demultiplexer::EndOfStream() {
    std::lock_guard stream(m_streamLock);
    FinishPayloads();
    for (const auto& pin : m_outputs) {
        pin->DeliverEndOfStreamLocked();
    }
}

}  // namespace vornak
